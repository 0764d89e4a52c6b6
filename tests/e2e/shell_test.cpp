// The context-menu entries the real program writes at every start, and the
// Remove button. Wine does not merge the per-user classes into
// HKEY_CLASSES_ROOT, so the per-user key is read directly.
#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

namespace ids = ferrune::ids;

const std::wstring kClasses = L"Software\\Classes\\";

// Below the per-user classes key, or below the machine-wide one with HKEY_LOCAL_MACHINE.
std::optional<std::wstring> DefaultValue(const std::wstring& key, HKEY root = HKEY_CURRENT_USER) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, (kClasses + key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return std::nullopt;
  wchar_t buffer[2048] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t), type = 0;
  const LONG r = RegQueryValueExW(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(h);
  if (r != ERROR_SUCCESS) return L"<no value>";
  return type == REG_SZ ? std::wstring(buffer) : L"<not text>";
}

bool KeyExists(const std::wstring& key, HKEY root = HKEY_CURRENT_USER) { return DefaultValue(key, root).has_value(); }

void MakeKey(const std::wstring& key, const std::wstring& value = L"", HKEY root = HKEY_CURRENT_USER) {
  HKEY h = nullptr;
  RegCreateKeyExW(root, (kClasses + key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
  if (!value.empty())
    RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
}

void DeleteTree(const std::wstring& key, HKEY root = HKEY_CURRENT_USER) {
  RegDeleteTreeW(root, (kClasses + key).c_str());
}

const wchar_t* const kEarlierLayout[] = {L"*\\Shell\\FerruneFileCrypt", L"Ferrune File\\Shell\\Open"};

// The earlier layout's keys, each with a command, as an earlier install left them.
void MakeEarlierLayout(HKEY root) {
  for (const wchar_t* k : kEarlierLayout) MakeKey(std::wstring(k) + L"\\command", L"old", root);
}

void RemoveAll() {
  for (const wchar_t* k : {L"*\\Shell\\Encrypt with Ferrune", L".zrv", L"Ferrune File", L"*\\Shell\\FerruneFileCrypt"})
    DeleteTree(k);
  for (const wchar_t* k : kEarlierLayout) DeleteTree(k, HKEY_LOCAL_MACHINE);
}

// Starts the program and closes it again once it shows.
void StartOnce(const std::wstring& exe = FerruneExe()) {
  App app(L"", {}, exe);
  ASSERT_TRUE(app.WaitForWindow());
  app.Close();
  ASSERT_EQ(app.WaitForExit(), 0u);
}

void ExpectEntriesFor(const std::wstring& exe) {
  EXPECT_EQ(DefaultValue(L"*\\Shell\\Encrypt with Ferrune"), L"Encrypt with Ferrune");
  EXPECT_EQ(DefaultValue(L"*\\Shell\\Encrypt with Ferrune\\command"), L"\"" + exe + L"\" \"%1\" /crypt");
  EXPECT_EQ(DefaultValue(L".zrv"), L"Ferrune File");
  EXPECT_EQ(DefaultValue(L"Ferrune File"), L"Encrypted file Ferrune");
  EXPECT_EQ(DefaultValue(L"Ferrune File\\Shell"), L"<no value>");
  EXPECT_EQ(DefaultValue(L"Ferrune File\\Shell\\Decrypt"), L"Decrypt with Ferrune");
  EXPECT_EQ(DefaultValue(L"Ferrune File\\Shell\\Decrypt\\command"), L"\"" + exe + L"\" \"%1\" /encrypt");
  EXPECT_EQ(DefaultValue(L"Ferrune File\\DefaultIcon"), exe + L",0");
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveAll(); }
  void TearDown() override { RemoveAll(); }
};

TEST_F(ShellTest, AFirstStartWritesTheEntries) {
  StartOnce();
  ExpectEntriesFor(FerruneExe());
}

TEST_F(ShellTest, AMovedProgramRewritesItsPathsAndOldLayoutKeysGo) {
  StartOnce();
  // The earlier layout's keys per user and for all users, and a foreign subkey.
  MakeEarlierLayout(HKEY_CURRENT_USER);
  MakeEarlierLayout(HKEY_LOCAL_MACHINE);
  MakeKey(L"Ferrune File\\Shell\\OtherVerb\\command", L"kept");
  const TempFolder temp;
  const std::wstring folder = temp / L"Program Files With Blanks \u00e9";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring moved = folder + L"\\ferrune copy.exe";
  ASSERT_TRUE(CopyFileW(FerruneExe().c_str(), moved.c_str(), FALSE));
  StartOnce(moved);
  ExpectEntriesFor(moved);
  for (const wchar_t* k : kEarlierLayout) {
    EXPECT_FALSE(KeyExists(k)) << Utf8(k);
    EXPECT_FALSE(KeyExists(k, HKEY_LOCAL_MACHINE)) << Utf8(k);
  }
  EXPECT_EQ(DefaultValue(L"Ferrune File\\Shell\\OtherVerb\\command"), L"kept");
}

TEST_F(ShellTest, RemoveAsksFirstAndDeletesEverySubtree) {
  App app(L"");
  ASSERT_TRUE(app.WaitForWindow());
  ASSERT_TRUE(KeyExists(L".zrv"));
  MakeKey(L".zrv\\OpenWithProgids\\Deep\\Deeper", L"another program's");
  MakeKey(L"Ferrune File\\shellex\\x", L"another program's");

  app.Click(kRemoveButton);
  std::optional<MessageBoxInfo> ask = app.WaitForMessageBox();
  ASSERT_TRUE(ask);
  EXPECT_EQ(ask->text, L"Remove Ferrune from the shell?");
  EXPECT_EQ(ask->caption, kTitle);
  EXPECT_EQ(ask->buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(ask->defaultButton, IDYES);
  EXPECT_FALSE(ask->hasIcon);
  app.Answer(*ask, IDNO);
  EXPECT_FALSE(app.MessageBoxShowing());
  ExpectEntriesFor(FerruneExe());

  // What this start did not drop: the earlier layout, put back while it runs.
  MakeEarlierLayout(HKEY_CURRENT_USER);
  MakeEarlierLayout(HKEY_LOCAL_MACHINE);
  app.Click(kRemoveButton);
  ask = app.WaitForMessageBox();
  ASSERT_TRUE(ask);
  app.Answer(*ask, IDYES);
  std::optional<MessageBoxInfo> done = app.WaitForMessageBox();
  ASSERT_TRUE(done);
  EXPECT_EQ(done->text, L"Ferrune has been removed from the shell.");
  EXPECT_EQ(done->buttons, std::vector<int>{IDOK});
  EXPECT_FALSE(done->hasIcon);
  EXPECT_FALSE(KeyExists(L"*\\Shell\\Encrypt with Ferrune"));
  EXPECT_FALSE(KeyExists(L".zrv"));
  EXPECT_FALSE(KeyExists(L"Ferrune File"));
  for (const wchar_t* k : kEarlierLayout) EXPECT_FALSE(KeyExists(k, HKEY_LOCAL_MACHINE)) << Utf8(k);
  // Nothing of its own is left: the keys the first start made above the verb go too.
  EXPECT_FALSE(KeyExists(L"*\\Shell"));
  EXPECT_FALSE(KeyExists(L"*"));
  app.Answer(*done, IDOK);
  EXPECT_EQ(app.Page(), 0);

  // With nothing left, Remove still completes and says so.
  app.Click(kRemoveButton);
  ask = app.WaitForMessageBox();
  ASSERT_TRUE(ask);
  app.Answer(*ask, IDYES);
  done = app.WaitForMessageBox();
  ASSERT_TRUE(done);
  EXPECT_EQ(done->text, L"Ferrune has been removed from the shell.");
  app.Answer(*done, IDOK);
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);

  // The next start brings the entries back.
  StartOnce();
  ExpectEntriesFor(FerruneExe());
}

}  // namespace
}  // namespace e2e

namespace e2e {
namespace {

// A user who may not write the classes key: the error box comes first, then
// the window as usual, and the crypto provider is opened all the same.
TEST_F(ShellTest, ARefusedRegistryIsReportedAndTheProgramStillWorks) {
  TracedRun run({L"FERRUNE_FAULT=registry"});
  App app(L"\"C:\\Docs\\a.txt\" /crypt", run.environment);
  std::optional<MessageBoxInfo> box = app.WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, L"Failed to set data for ''");
  EXPECT_EQ(box->caption, kTitle);
  EXPECT_TRUE(box->hasIcon);
  EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
  EXPECT_FALSE(app.WaitForWindow(300ms)) << "the window waits for the box";
  app.Answer(*box, IDOK);
  ASSERT_TRUE(app.WaitForWindow());
  EXPECT_TRUE(app.WaitForPage(1));
  EXPECT_EQ(run.Field("dispatch", "target"), "C:\\Docs\\a.txt");
  EXPECT_EQ(run.Lines().front(), "provider=container renewed");
  EXPECT_FALSE(KeyExists(L".zrv"));
  EXPECT_FALSE(KeyExists(L"*\\Shell\\Encrypt with Ferrune"));
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
}

}  // namespace
}  // namespace e2e
