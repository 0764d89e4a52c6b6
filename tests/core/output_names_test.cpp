#include "core/output_names.h"

#include <gtest/gtest.h>

#include "core/temp_name.h"

namespace ferrune {
namespace {

TEST(EncryptedName, ExactForTheWindowAndAnyCaseForTheTool) {
  EXPECT_TRUE(IsEncryptedName(L"C:\\Docs\\a.zrv", NameCase::Exact));
  EXPECT_FALSE(IsEncryptedName(L"C:\\Docs\\a.ZRV", NameCase::Exact));
  EXPECT_TRUE(IsEncryptedName(L"C:\\Docs\\a.ZrV", NameCase::AnyCase));
  // The extension is what follows the last dot of the last name only.
  EXPECT_FALSE(IsEncryptedName(L"C:\\x.zrv\\a", NameCase::AnyCase));
  EXPECT_FALSE(IsEncryptedName(L"a.zrv.bak", NameCase::AnyCase));
}

TEST(OutputName, AddsZrvOrCutsTheLastFourCharactersWhateverTheyAre) {
  EXPECT_EQ(OutputFileName(JobKind::Encrypt, L"C:\\Docs\\a.txt"), L"C:\\Docs\\a.txt.zrv");
  EXPECT_EQ(OutputFileName(JobKind::Decrypt, L"C:\\Docs\\a.txt.zrv"), L"C:\\Docs\\a.txt");
  EXPECT_EQ(DecryptedFileName(L"C:\\Docs\\a.txt"), L"C:\\Docs\\a");
  EXPECT_EQ(DecryptedFileName(L".zrv"), L"");
}

// A name set aside tells what it held and where it goes back, also when the
// original had to be cut to fit; no user's name reads as one of ours.
TEST(OurNames, SetAsideNamesSayWhatAndWhereAndKeptNamesKeepTheExtension) {
  FileIdentity identity;
  identity.volume = 7;
  identity.index = 42;
  identity.size = 1000;
  identity.writeTime = {123, 0};
  const auto upTo = [](std::size_t most) { return [most](std::wstring_view name) { return name.size() <= most; }; };
  std::wstring faces = L"ab";
  for (int i = 0; i < 120; ++i) faces += L"\U0001F600";
  struct Row {
    AsideKind kind;
    std::wstring original;
    std::size_t most;
    bool whole;
  } const rows[] = {{AsideKind::Delete, L"report.txt", 255, true},
                    {AsideKind::Replace, L"a b.c.d", 255, true},
                    {AsideKind::Delete, std::wstring(240, L'x'), 255, false},
                    // A cut of this in UTF-16 (Windows) falls inside a pair first.
                    {AsideKind::Delete, faces, 64, false}};
  for (const Row& row : rows) {
    const AsideName aside = AsideOf(row.kind, identity, row.original, upTo(row.most));
    EXPECT_LE(aside.name.size(), row.most);
    // The job that set it aside keeps the whole name; a sweep reads what the name holds.
    EXPECT_EQ(aside.our.original, row.original);
    const std::optional<OurName> our = ParseOurName(aside.name);
    ASSERT_TRUE(our) << aside.name;
    EXPECT_EQ(our->kind, OurName::Kind::Aside);
    EXPECT_EQ(our->aside, row.kind);
    EXPECT_EQ(our->key, IdentityKey(identity));
    EXPECT_EQ(our->wholeOriginal, row.whole);
    EXPECT_EQ(our->original, row.whole ? row.original : row.original.substr(0, our->original.size()));
    EXPECT_FALSE(our->original.back() >= 0xD800 && our->original.back() <= 0xDBFF) << "half a character";
  }
  const auto any = [](std::wstring_view) { return true; };
  EXPECT_EQ(KeptFileName(L"report.txt", 1, any), L"report (kept by Ferrune).txt");
  EXPECT_EQ(KeptFileName(L".profile", 2, any), L".profile (kept by Ferrune 2)");
  EXPECT_EQ(KeptFileName(L"notes", 1, any), L"notes (kept by Ferrune)");
  const std::wstring kept = KeptFileName(std::wstring(250, L'x') + L".txt", 1, upTo(255));
  EXPECT_LE(kept.size(), 255u);
  EXPECT_TRUE(kept.ends_with(L"x (kept by Ferrune).txt")) << kept;
  for (const wchar_t* user :
       {L"report.txt", L".ferrune-notes.tmp", L".ferrune-x-0123456789abcdef-a", L".ferrune-d-0123"}) {
    EXPECT_FALSE(IsReservedName(user)) << user;
  }
  EXPECT_TRUE(IsReservedName(NewTempFileName(12)));
}

}  // namespace
}  // namespace ferrune
