#include "app/logic/command_line.h"

#include <gtest/gtest.h>

#include "core/path_rules.h"

namespace ferrune {
namespace {

struct SplitCase {
  const wchar_t* commandLine;
  std::vector<std::wstring> args;  // after the program's own name
};

void PrintTo(const SplitCase& c, std::ostream* os) {
  for (const wchar_t* p = c.commandLine; *p; ++p) *os << char(*p >= 32 && *p < 127 ? *p : '?');
}

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, GivesArgumentsAfterTheProgramName) {
  const SplitCase& c = GetParam();
  ASSERT_EQ(ArgumentCount(c.commandLine), int(c.args.size())) << c.commandLine;
  for (std::size_t i = 0; i < c.args.size(); ++i) EXPECT_EQ(ArgumentAt(c.commandLine, int(i + 1)), c.args[i]);
  EXPECT_EQ(ArgumentAt(c.commandLine, int(c.args.size() + 1)), L"");
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SplitTest,
    ::testing::Values(SplitCase{L"ferrune.exe", {}}, SplitCase{L"", {}},
                      SplitCase{L"\"C:\\Program Files\\Ferrune\\ferrune.exe\" \"C:\\My Docs\\a b.txt\" /crypt",
                                {L"C:\\My Docs\\a b.txt", L"/crypt"}},
                      // Empty quoted pairs standing alone are skipped, also several.
                      SplitCase{L"f.exe \"\" \"\"  C:\\a.txt", {L"C:\\a.txt"}},
                      SplitCase{L"f.exe \"\"\"\"C:\\a.txt /encrypt", {L"C:\\a.txt", L"/encrypt"}},
                      // Every character from 1 to 32 separates: tab, line feed, control characters.
                      SplitCase{L"f.exe\tC:\\a.txt\t/encrypt", {L"C:\\a.txt", L"/encrypt"}},
                      SplitCase{L"f.exe \x01\x1f"
                                L"a\nb",
                                {L"a", L"b"}},
                      // Quoted and unquoted stretches that touch form one argument.
                      SplitCase{L"f.exe \"C:\\My Docs\"\\a.txt", {L"C:\\My Docs\\a.txt"}},
                      SplitCase{L"f.exe C:\\\"My Docs\"\\a\" \"b x", {L"C:\\My Docs\\a b", L"x"}},
                      // An unclosed quote runs to the end, blanks included.
                      SplitCase{L"f.exe \"C:\\a b /encrypt", {L"C:\\a b /encrypt"}},
                      // No escape character: a backslash before a quote is ordinary.
                      SplitCase{L"f.exe \"C:\\dir\\\" next", {L"C:\\dir\\", L"next"}},
                      // The count stops at the first empty argument ("" glued to a separator is empty).
                      SplitCase{L"f.exe a \"\" b", {L"a", L"b"}}, SplitCase{L"f.exe a \"\"b", {L"a", L"b"}}));

TEST(SplitTest, AQuotedEmptyPairInsideAnArgumentIsDropped) {
  // The pair is only skipped where an argument would begin; inside one it is an empty stretch.
  EXPECT_EQ(ArgumentAt(L"f.exe ab\"\"cd", 1), L"abcd");
}

TEST(ExtensionTest, TakesTheTextAfterTheLastDotOfTheName) {
  EXPECT_EQ(ExtensionOf(L"C:\\Docs\\a.txt.zrv"), L".zrv");
  EXPECT_EQ(ExtensionOf(L"C:\\Docs\\A.ZRV"), L".ZRV");
  EXPECT_EQ(ExtensionOf(L"C:\\Old.zrv\\notes"), L"");
  EXPECT_EQ(ExtensionOf(L"C:notes"), L"");
  EXPECT_EQ(ExtensionOf(L"C:.zrv"), L".zrv");
  EXPECT_EQ(ExtensionOf(L"C:\\Docs\\name."), L".");
  EXPECT_EQ(ExtensionOf(L"noext"), L"");
  EXPECT_EQ(ExtensionOf(L""), L"");
  // A forward slash is no separator for this rule.
  EXPECT_EQ(ExtensionOf(L"a.zrv/notes"), L".zrv/notes");
}

TEST(SameTextTest, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(SameTextAscii(L"/ENCRYPT", L"/encrypt"));
  EXPECT_TRUE(SameTextAscii(L"/EnCrYpT", L"/encrypt"));
  EXPECT_FALSE(SameTextAscii(L"/encrypt ", L"/encrypt"));
  EXPECT_FALSE(SameTextAscii(L"\u00c4", L"\u00e4"));
  EXPECT_FALSE(SameTextAscii(L"[", L"{"));  // 0x5B and 0x7B differ by 32 but are not letters
}

}  // namespace
}  // namespace ferrune
