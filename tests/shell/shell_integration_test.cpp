#include "shell/shell_integration.h"

#include <algorithm>
#include <map>

#include "tests/shell/fake_test_support.h"

namespace ferrune::testing {
namespace {

using Op = FakeRegistry::Op;
using Values = std::map<std::wstring, std::wstring>;

const std::wstring kVerb = UserClasses(L"\\*\\Shell\\Encrypt with Ferrune");
const std::wstring kVerbCommand = kVerb + L"\\command";
const std::wstring kExtension = UserClasses(L"\\.zrv");
const std::wstring kFileType = UserClasses(L"\\Ferrune File");
const std::wstring kDecrypt = kFileType + L"\\Shell\\Decrypt";
const std::wstring kDecryptCommand = kDecrypt + L"\\command";
const std::wstring kIcon = kFileType + L"\\DefaultIcon";

Values ValuesOf(const FakeRegistry& fake) {
  Values values;
  for (const auto& [path, value] : fake.Take())
    if (value) values[path] = *value;
  return values;
}

// The seven entries for program path p, in the order they are written.
std::vector<std::pair<std::wstring, std::wstring>> Entries(const std::wstring& p) {
  return {{kVerb, L"Encrypt with Ferrune"},
          {kVerbCommand, L"\"" + p + L"\" \"%1\" /crypt"},
          {kExtension, L"Ferrune File"},
          {kFileType, L"Encrypted file Ferrune"},
          {kDecrypt, L"Decrypt with Ferrune"},
          {kDecryptCommand, L"\"" + p + L"\" \"%1\" /encrypt"},
          {kIcon, p + L",0"}};
}

Values EntryValues(const std::wstring& p) {
  const auto entries = Entries(p);
  return Values(entries.begin(), entries.end());
}

using ShellIntegrationTest = FakeRegistryTest;

TEST_F(ShellIntegrationTest, FirstRegistrationWritesTheSevenValuesAndNothingElse) {
  RegisterShellIntegration(fake, L"C:\\Program Files\\Ferrune Tool\\ferrune.exe");
  const Values expected = {
      {kVerb, L"Encrypt with Ferrune"},
      {kVerbCommand, L"\"C:\\Program Files\\Ferrune Tool\\ferrune.exe\" \"%1\" /crypt"},
      {kExtension, L"Ferrune File"},
      {kFileType, L"Encrypted file Ferrune"},
      {kDecrypt, L"Decrypt with Ferrune"},
      {kDecryptCommand, L"\"C:\\Program Files\\Ferrune Tool\\ferrune.exe\" \"%1\" /encrypt"},
      {kIcon, L"C:\\Program Files\\Ferrune Tool\\ferrune.exe,0"},
  };
  EXPECT_EQ(ValuesOf(fake), expected);
  EXPECT_TRUE(fake.Exists(kFileType + L"\\Shell"));
  EXPECT_EQ(fake.Value(kFileType + L"\\Shell"), std::nullopt);
  EXPECT_EQ(fake.Take().size(), 14u);  // both roots, Software, Classes and the ten keys below
  EXPECT_FALSE(fake.Exists(MachineClasses(L"\\.zrv")));

  std::vector<std::wstring> order;
  for (const auto& entry : Entries(L"C:\\Program Files\\Ferrune Tool\\ferrune.exe")) order.push_back(entry.first);
  EXPECT_EQ(fake.Succeeded(Op::Write), order);
}

TEST_F(ShellIntegrationTest, MovedProgramRewritesCommandsAndIcon) {
  RegisterShellIntegration(fake, L"C:\\Old\\ferrune.exe");
  RegisterShellIntegration(fake, L"D:\\Tools\\renamed.exe");
  EXPECT_EQ(ValuesOf(fake), EntryValues(L"D:\\Tools\\renamed.exe"));
  EXPECT_EQ(fake.Succeeded(Op::Write).size(), 14u);  // all seven written both times
}

TEST_F(ShellIntegrationTest, EarlierLayoutGoesBeforeTheFirstWriteOtherSubkeysStay) {
  for (const auto& root : {UserClasses(L""), MachineClasses(L"")}) {
    fake.SetValue(root + L"\\*\\Shell\\FerruneFileCrypt\\command", L"old encrypt");
    fake.SetValue(root + L"\\Ferrune File\\Shell\\Open\\command", L"old open");
  }
  fake.SetValue(UserClasses(L"\\Ferrune File\\Other\\Deep"), L"someone else's");
  fake.SetValue(MachineClasses(L"\\Ferrune File\\DefaultIcon"), L"machine-wide");
  RegisterShellIntegration(fake, L"C:\\F\\ferrune.exe");

  Values expected = EntryValues(L"C:\\F\\ferrune.exe");
  expected[UserClasses(L"\\Ferrune File\\Other\\Deep")] = L"someone else's";
  expected[MachineClasses(L"\\Ferrune File\\DefaultIcon")] = L"machine-wide";
  EXPECT_EQ(ValuesOf(fake), expected);

  std::vector<std::wstring> deletions;
  for (const auto& root : {UserClasses(L""), MachineClasses(L"")}) {
    for (const wchar_t* key : {L"\\*\\Shell\\FerruneFileCrypt", L"\\Ferrune File\\Shell\\Open"}) {
      EXPECT_FALSE(fake.Exists(root + key));
      deletions.push_back(root + key + L"\\command");
      deletions.push_back(root + key);
    }
  }
  std::vector<std::wstring> beforeFirstWrite;
  for (const auto& e : fake.Events()) {
    if (e.op == Op::Write) break;
    if (e.op == Op::Delete && e.status == kRegOk) beforeFirstWrite.push_back(e.path);
  }
  EXPECT_EQ(beforeFirstWrite, deletions);
}

TEST_F(ShellIntegrationTest, EarlierLayoutMachineWideStaysWithoutAWordWhereTheUserMayNotDeleteIt) {
  fake.SetValue(MachineClasses(L"\\*\\Shell\\FerruneFileCrypt\\command"), L"old encrypt");
  fake.SetValue(MachineClasses(L"\\Ferrune File\\Shell\\Open\\command"), L"old open");
  fake.Refuse(Op::Open, MachineClasses(L""));
  fake.Refuse(Op::Delete, MachineClasses(L""));
  EXPECT_NO_THROW(RegisterShellIntegration(fake, L"C:\\F\\ferrune.exe"));
  Values expected = EntryValues(L"C:\\F\\ferrune.exe");
  expected[MachineClasses(L"\\*\\Shell\\FerruneFileCrypt\\command")] = L"old encrypt";
  expected[MachineClasses(L"\\Ferrune File\\Shell\\Open\\command")] = L"old open";
  EXPECT_EQ(ValuesOf(fake), expected);
}

TEST_F(ShellIntegrationTest, NoRightToTheRootRaisesAtEveryStartAndChangesNothing) {
  fake.SetValue(UserClasses(L"\\*\\Shell\\FerruneFileCrypt\\command"), L"old encrypt");
  fake.RefuseAll(UserClasses(L""));
  const auto before = fake.Take();
  for (int start = 0; start < 2; ++start) {
    ExpectSetDataError([&] { RegisterShellIntegration(fake, L"C:\\F\\ferrune.exe"); });
    EXPECT_EQ(fake.Take(), before);
  }
}

// Refusing the key of one step: the writing stops there, every earlier value
// sits in its own key, and nothing lands anywhere else.
class RefusedOpenTest : public FakeRegistryTest, public ::testing::WithParamInterface<int> {};

TEST_P(RefusedOpenTest, StopsWithTheErrorAndWritesNothingIntoAnotherKey) {
  const auto entries = Entries(L"C:\\F\\ferrune.exe");
  const int refused = GetParam();
  fake.Refuse(Op::Open, entries[refused].first);
  fake.Refuse(Op::Create, entries[refused].first);
  ExpectSetDataError([&] { RegisterShellIntegration(fake, L"C:\\F\\ferrune.exe"); });
  const Values expected(entries.begin(), entries.begin() + refused);
  EXPECT_EQ(ValuesOf(fake), expected);
}

INSTANTIATE_TEST_SUITE_P(EachKey, RefusedOpenTest, ::testing::Range(0, 7));

TEST_F(ShellIntegrationTest, RefusedWriteRaisesAndKeepsWhatWasWrittenBefore) {
  fake.Refuse(Op::Write, kExtension);
  ExpectSetDataError([&] { RegisterShellIntegration(fake, L"C:\\F\\ferrune.exe"); });
  const auto entries = Entries(L"C:\\F\\ferrune.exe");
  EXPECT_EQ(ValuesOf(fake), Values(entries.begin(), entries.begin() + 2));
  EXPECT_TRUE(fake.Exists(kExtension));
}

TEST_F(ShellIntegrationTest, RemovalDeletesItsSubtreesPerUserThenMachineWideAndLeavesNothingOfItsOwn) {
  RegisterShellIntegration(fake, L"C:\\F\\ferrune.exe");
  fake.SetValue(kExtension + L"\\OpenWithProgids\\Other\\Deeper", L"foreign");
  fake.SetValue(kFileType + L"\\Shell\\Print\\command", L"foreign");
  fake.SetValue(UserClasses(L"\\.txt"), L"txtfile");
  for (const wchar_t* k : {L"\\*\\Shell\\Encrypt with Ferrune\\command", L"\\*\\Shell\\FerruneFileCrypt", L"\\.zrv\\x",
                           L"\\Ferrune File\\DefaultIcon"})
    fake.SetValue(MachineClasses(k), L"machine-wide");
  fake.SetValue(MachineClasses(L"\\*\\Shell\\Other"), L"machine-wide");
  fake.SetValue(MachineClasses(L"\\.txt"), L"txtfile");
  // The earlier layout's verb, left by a start before it was dropped.
  fake.SetValue(UserClasses(L"\\*\\Shell\\FerruneFileCrypt\\command"), L"earlier layout");

  RemoveShellIntegration(fake);

  const Values expected = {{UserClasses(L"\\.txt"), L"txtfile"},
                           {MachineClasses(L"\\*\\Shell\\Other"), L"machine-wide"},
                           {MachineClasses(L"\\.txt"), L"txtfile"}};
  EXPECT_EQ(ValuesOf(fake), expected);
  const std::vector<std::wstring> order = {kVerb,
                                           UserClasses(L"\\*\\Shell\\FerruneFileCrypt"),
                                           kExtension,
                                           kFileType,
                                           UserClasses(L"\\*\\Shell"),
                                           UserClasses(L"\\*"),
                                           MachineClasses(L"\\*\\Shell\\Encrypt with Ferrune"),
                                           MachineClasses(L"\\*\\Shell\\FerruneFileCrypt"),
                                           MachineClasses(L"\\.zrv"),
                                           MachineClasses(L"\\Ferrune File")};
  for (const std::wstring& k : order) EXPECT_FALSE(fake.Exists(k));
  // Machine-wide, "*" and "*\Shell" are the system's.
  EXPECT_TRUE(fake.Exists(MachineClasses(L"\\*\\Shell")));

  // The per-user keys go first; each top key is deleted after its subtree.
  std::vector<std::wstring> tops;
  for (const std::wstring& path : fake.Succeeded(Op::Delete))
    if (std::find(order.begin(), order.end(), path) != order.end()) tops.push_back(path);
  EXPECT_EQ(tops, order);

  RegisterShellIntegration(fake, L"C:\\F\\ferrune.exe");
  Values back = EntryValues(L"C:\\F\\ferrune.exe");
  back.insert(expected.begin(), expected.end());
  EXPECT_EQ(ValuesOf(fake), back);
}

TEST_F(ShellIntegrationTest, RemovalKeepsTheKeysAboveTheVerbWhileAnythingElseIsInThem) {
  RegisterShellIntegration(fake, L"C:\\F\\ferrune.exe");
  fake.SetValue(UserClasses(L"\\*\\Shell\\Other Tool\\command"), L"another program's");
  RemoveShellIntegration(fake);
  EXPECT_FALSE(fake.Exists(kVerb));
  EXPECT_EQ(fake.Value(UserClasses(L"\\*\\Shell\\Other Tool\\command")), L"another program's");

  // A value counts too: the empty "*\Shell" goes, "*" with its value stays.
  FakeRegistry other;
  other.AddKey(UserClasses(L""));
  RegisterShellIntegration(other, L"C:\\F\\ferrune.exe");
  other.SetValue(UserClasses(L"\\*"), L"another program's");
  RemoveShellIntegration(other);
  EXPECT_FALSE(other.Exists(UserClasses(L"\\*\\Shell")));
  EXPECT_EQ(other.Value(UserClasses(L"\\*")), L"another program's");
  EXPECT_EQ(other.OpenHandles(), 0u);
}

TEST_F(ShellIntegrationTest, RemovalWithNothingPresentOrNoRightChangesNothingAndRaisesNothing) {
  const auto empty = fake.Take();
  EXPECT_NO_THROW(RemoveShellIntegration(fake));
  EXPECT_EQ(fake.Take(), empty);

  RegisterShellIntegration(fake, L"C:\\F\\ferrune.exe");
  fake.SetValue(MachineClasses(L"\\.zrv"), L"Ferrune File");
  fake.Refuse(Op::Delete, UserClasses(L""));
  fake.Refuse(Op::Delete, MachineClasses(L""));
  const auto registered = fake.Take();
  EXPECT_NO_THROW(RemoveShellIntegration(fake));
  EXPECT_EQ(fake.Take(), registered);
}

TEST_F(ShellIntegrationTest, RefusedDeleteLeavesThatKeyAndTheRestGoes) {
  RegisterShellIntegration(fake, L"C:\\F\\ferrune.exe");
  fake.Refuse(Op::Delete, kIcon);
  RemoveShellIntegration(fake);
  EXPECT_EQ(ValuesOf(fake), (Values{{kFileType, L"Encrypted file Ferrune"}, {kIcon, L"C:\\F\\ferrune.exe,0"}}));
  EXPECT_TRUE(fake.Exists(kFileType));
  EXPECT_FALSE(fake.Exists(kFileType + L"\\Shell"));
  EXPECT_FALSE(fake.Exists(kVerb));
  EXPECT_FALSE(fake.Exists(kExtension));
}

}  // namespace
}  // namespace ferrune::testing
