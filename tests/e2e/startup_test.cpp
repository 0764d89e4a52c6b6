// Start-up: the command line decides the first page and the run's file; the
// window's frame; the key container renewed at every start.
#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

namespace ids = ferrune::ids;

struct StartCase {
  const wchar_t* arguments;  // exactly as they follow the program's path
  int page;
  const char* target;
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << Utf8(c.arguments); }

class StartTest : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartTest, OpensOnThePageTheCommandLineChooses) {
  const StartCase& c = GetParam();
  TracedRun run;
  App app(c.arguments, run.environment);
  ASSERT_TRUE(app.WaitForWindow());
  EXPECT_TRUE(app.WaitForPage(c.page));
  EXPECT_EQ(run.Field("dispatch", "page"), std::to_string(c.page));
  EXPECT_EQ(run.Field("dispatch", "target"), c.target);
  if (c.page == 0) {
    EXPECT_EQ(app.Text(ids::Panel7), kTitle) << "the version line";
  }
  if (c.page == 3) {
    EXPECT_EQ(app.Text(kStatusText), L"This file is encrypted");
    EXPECT_TRUE(app.Enabled(kAboutButton));
    EXPECT_TRUE(app.Enabled(kCloseButton));
    app.Click(kAboutButton);
    EXPECT_TRUE(app.WaitForPage(0)) << "About leads to the information page";
  }
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, StartTest,
    ::testing::Values(StartCase{L"", 0, ""},
                      // What the encrypt verb passes: the path in quotes, blanks in it.
                      StartCase{L"\"C:\\My Docs\\report 1.txt\" /crypt", 1, "C:\\My Docs\\report 1.txt"},
                      StartCase{L"\"C:\\Docs\\a.txt.zrv\" /encrypt", 2, "C:\\Docs\\a.txt.zrv"},
                      StartCase{L"\"C:\\Docs\\a.txt.zrv\" /crypt", 3, ""}, StartCase{L"C:\\Docs\\a.zrv", 3, ""},
                      StartCase{L"C:\\Docs\\a.txt", 1, "C:\\Docs\\a.txt"},
                      StartCase{L"C:\\Docs\\A.ZRV /crypt", 1, "C:\\Docs\\A.ZRV"},
                      StartCase{L"C:\\Docs\\a.txt /encrypt", 2, "C:\\Docs\\a.txt"},
                      StartCase{L"C:\\Docs\\a.zrv /ENCRYPT", 1, "C:\\Docs\\a.zrv"},
                      StartCase{L"C:\\Old.zrv\\notes /crypt", 1, "C:\\Old.zrv\\notes"},
                      StartCase{L"C:\\Docs\\a.zrv /encrypt more args", 2, "C:\\Docs\\a.zrv"},
                      // Raw forms the shell or a script may produce.
                      StartCase{L"\"\" \"C:\\x y\\z.txt\"\t/encrypt", 2, "C:\\x y\\z.txt"},
                      StartCase{L"\"C:\\My Docs\"\\a.txt", 1, "C:\\My Docs\\a.txt"},
                      StartCase{L"\"C:\\unclosed quote /encrypt", 1, "C:\\unclosed quote /encrypt"},
                      // A name outside the single-byte code page arrives whole.
                      StartCase{L"\"C:\\\u65e5\u672c\\\u0416\u00e9.txt\" /crypt", 1,
                                "C:\\\xe6\x97\xa5\xe6\x9c\xac\\\xd0\x96\xc3\xa9.txt"}));

TEST(WindowFrame, IsSmallFixedAlwaysOnTopAndCentred) {
  App app(L"");
  ASSERT_TRUE(app.WaitForWindow());
  HWND w = app.Window();
  wchar_t caption[64] = {};
  GetWindowTextW(w, caption, 64);
  EXPECT_STREQ(caption, L"Ferrune");
  RECT client{};
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, 200);
  EXPECT_EQ(client.bottom, 149);
  const LONG style = GetWindowLongW(w, GWL_STYLE);
  const LONG exStyle = GetWindowLongW(w, GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the user must not resize it";
  EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION);
  EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
  // Centred on the primary monitor (here the work area is the whole screen;
  // moving into a smaller one is tested natively).
  RECT frame{};
  GetWindowRect(w, &frame);
  MONITORINFO primary{};
  primary.cbSize = sizeof(primary);
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary));
  const RECT& screen = primary.rcMonitor;
  EXPECT_NEAR((frame.left + frame.right) / 2, (screen.left + screen.right) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, (screen.top + screen.bottom) / 2, 1);
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
}

TEST(KeyContainer, HoldsFreshPairsAfterEveryStart) {
  ContainerKeys keys[2];
  for (ContainerKeys& k : keys) {
    TracedRun run;
    App app(L"", run.environment);
    ASSERT_TRUE(app.WaitForWindow());
    app.Close();
    ASSERT_EQ(app.WaitForExit(), 0u);
    ASSERT_FALSE(run.Lines().empty());
    EXPECT_EQ(run.Lines().front(), "provider=container renewed");
    k = ReadContainerKeys();
    ASSERT_FALSE(k.exchange.empty());
    ASSERT_FALSE(k.signature.empty());
  }
  EXPECT_NE(keys[0].exchange, keys[1].exchange);
  EXPECT_NE(keys[0].signature, keys[1].signature);
  EXPECT_NE(keys[1].exchange, keys[1].signature);
}

TEST(KeyContainer, IsReleasedAlsoWhenCloseEndsTheRun) {
  // "Close" on the status page ends the loop at once; the pairs renewed in
  // that start must still reach the store.
  const ContainerKeys before = ReadContainerKeys();
  App app(L"C:\\a.zrv");
  ASSERT_TRUE(app.WaitForWindow());
  ASSERT_TRUE(app.WaitForPage(3));
  app.Click(kCloseButton);
  ASSERT_EQ(app.WaitForExit(), 0u);
  const ContainerKeys after = ReadContainerKeys();
  EXPECT_NE(before.signature, after.signature);
}

}  // namespace
}  // namespace e2e
