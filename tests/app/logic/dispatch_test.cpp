#include "app/logic/dispatch.h"

#include <gtest/gtest.h>

namespace ferrune {
namespace {

struct DispatchCase {
  const wchar_t* commandLine;
  PageChoice choice;
  const wchar_t* target;
};

void PrintTo(const DispatchCase& c, std::ostream* os) {
  for (const wchar_t* p = c.commandLine; *p; ++p) *os << char(*p < 128 ? *p : '?');
}

class DispatchTest : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(DispatchTest, ChoosesPageAndTarget) {
  const DispatchCase& c = GetParam();
  const DispatchResult r = Dispatch(c.commandLine);
  EXPECT_EQ(int(r.choice), int(c.choice));
  EXPECT_EQ(r.targetFile, c.target);
}

using P = PageChoice;
INSTANTIATE_TEST_SUITE_P(
    DecisionTable, DispatchTest,
    ::testing::Values(DispatchCase{L"ferrune.exe", P::Information, L""},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.txt", P::Encrypt, L"C:\\Docs\\a.txt"},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.zrv", P::AlreadyEncrypted, L""},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.txt /crypt", P::Encrypt, L"C:\\Docs\\a.txt"},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.txt.zrv /crypt", P::AlreadyEncrypted, L""},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.txt /encrypt", P::Decrypt, L"C:\\Docs\\a.txt"},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.txt.zrv /encrypt", P::Decrypt, L"C:\\Docs\\a.txt.zrv"},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.txt /ENCRYPT", P::Encrypt, L"C:\\Docs\\a.txt"},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.zrv /ENCRYPT", P::Encrypt, L"C:\\Docs\\a.zrv"},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.zrv /Encrypt", P::Encrypt, L"C:\\Docs\\a.zrv"},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.txt /other", P::Encrypt, L"C:\\Docs\\a.txt"},
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.zrv /other", P::AlreadyEncrypted, L""},
                      // The extension test is exact; a folder's dot does not count.
                      DispatchCase{L"ferrune.exe C:\\Docs\\A.ZRV /crypt", P::Encrypt, L"C:\\Docs\\A.ZRV"},
                      DispatchCase{L"ferrune.exe C:\\Old.zrv\\notes /crypt", P::Encrypt, L"C:\\Old.zrv\\notes"},
                      // Further arguments are ignored.
                      DispatchCase{L"ferrune.exe C:\\Docs\\a.zrv /encrypt x y", P::Decrypt, L"C:\\Docs\\a.zrv"},
                      // What the shell verbs pass, path in quotes with blanks.
                      DispatchCase{L"\"C:\\Program Files\\f.exe\" \"C:\\My Docs\\r t.txt\" /crypt", P::Encrypt,
                                   L"C:\\My Docs\\r t.txt"},
                      DispatchCase{L"\"C:\\f.exe\" \"C:\\My Docs\\r.txt.zrv\" /encrypt", P::Decrypt,
                                   L"C:\\My Docs\\r.txt.zrv"},
                      DispatchCase{L"f.exe \"\" \"C:\\x.txt\"\t/encrypt", P::Decrypt, L"C:\\x.txt"},
                      // Text outside any single-byte code page survives as it is.
                      DispatchCase{L"f.exe \"C:\\\u65e5\u672c\\\u00e9\U0001F600.txt\"", P::Encrypt,
                                   L"C:\\\u65e5\u672c\\\u00e9\U0001F600.txt"}));

}  // namespace
}  // namespace ferrune
