// What the window looks like: every page on screen in both looks, the colours
// that matter, the controls where the design puts them, and scaling.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/control_ids.h"
#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

namespace ids = ferrune::ids;

constexpr COLORREF kPageGrey = RGB(205, 205, 205);
constexpr COLORREF kBarGrey = RGB(222, 222, 222);
constexpr COLORREF kWhite = RGB(255, 255, 255);

bool Near(COLORREF a, COLORREF b, int tolerance = 8) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

std::string Hex(COLORREF c) {
  char s[16];
  snprintf(s, sizeof(s), "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
  return s;
}

// Counts pixels in a client rectangle that match `pred`.
template <typename Pred>
int CountPixels(const App& app, RECT rc, Pred pred) {
  int n = 0;
  for (int y = rc.top; y < rc.bottom; ++y)
    for (int x = rc.left; x < rc.right; ++x)
      if (pred(app.ClientPixel(x, y))) ++n;
  return n;
}

bool IsRed(COLORREF c) { return GetRValue(c) >= 200 && GetGValue(c) <= 70 && GetBValue(c) <= 70; }
bool IsBlue(COLORREF c) { return GetBValue(c) >= 200 && GetRValue(c) <= 70 && GetGValue(c) <= 70; }

// Switches the prefix's visual theme for the runs started while it lives.
class ThemeSwitch {
 public:
  explicit ThemeSwitch(bool themed) {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    DWORD size = sizeof(saved_);
    had_ = RegQueryValueExW(key_, L"ThemeActive", nullptr, nullptr, reinterpret_cast<BYTE*>(saved_), &size) ==
           ERROR_SUCCESS;
    const wchar_t* value = themed ? L"1" : L"0";
    RegSetValueExW(key_, L"ThemeActive", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), 4);
  }
  ~ThemeSwitch() {
    if (had_) {
      RegSetValueExW(key_, L"ThemeActive", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_),
                     DWORD((wcslen(saved_) + 1) * sizeof(wchar_t)));
    } else {
      RegDeleteValueW(key_, L"ThemeActive");
    }
    RegCloseKey(key_);
  }

 private:
  HKEY key_ = nullptr;
  bool had_ = false;
  wchar_t saved_[64] = {};
};

struct Look {
  bool themed;
  const char* name;
};

class LookTest : public ::testing::TestWithParam<Look> {
 protected:
  // Starts on `page` with the look of the parameter; checks the look took.
  std::unique_ptr<App> Start(int page) {
    ThemeSwitch theme(GetParam().themed);
    run_ = std::make_unique<TracedRun>();
    const wchar_t* args[] = {L"", L"\"C:\\Docs\\a.txt\" /crypt", L"\"C:\\Docs\\a.txt.zrv\" /encrypt",
                             L"\"C:\\Docs\\a.txt.zrv\" /crypt"};
    auto app = std::make_unique<App>(args[page], run_->environment);
    EXPECT_TRUE(app->WaitForWindow());
    EXPECT_TRUE(app->WaitForPage(page));
    EXPECT_EQ(run_->Field("look", "look"), GetParam().themed ? "themed" : "classic");
    Sleep(300ms);
    return app;
  }

  COLORREF Face() const { return GetSysColor(COLOR_BTNFACE); }
  COLORREF PageColour() const { return GetParam().themed ? Face() : kPageGrey; }
  COLORREF BarColour() const { return GetParam().themed ? Face() : kBarGrey; }
  std::wstring Shot(const wchar_t* page) const {
    return std::wstring(GetParam().themed ? L"themed-" : L"classic-") + page;
  }

  void ExpectPixel(const App& app, int x, int y, COLORREF want, const char* what) {
    const COLORREF got = app.ClientPixel(x, y);
    EXPECT_TRUE(Near(got, want)) << what << " at " << x << "," << y << ": " << Hex(got) << " instead of " << Hex(want);
  }

  struct Spot {
    int x, y;
    COLORREF want;
    const char* what;
  };
  void ExpectPixels(const App& app, std::initializer_list<Spot> spots) {
    for (const Spot& spot : spots) ExpectPixel(app, spot.x, spot.y, spot.want, spot.what);
  }

  // Text of about `colour` in the control, not just its background.
  static void ExpectTextColour(const App& app, int id, COLORREF colour, const char* what) {
    EXPECT_GT(CountPixels(app, app.ControlRect(id), [&](COLORREF c) { return Near(c, colour, 40); }), 10) << what;
  }

  static void ExpectBlueLinks(const App& app, std::initializer_list<int> ids) {
    for (const int id : ids) {
      EXPECT_GT(CountPixels(app, app.ControlRect(id), IsBlue), 10) << "link " << id << " has no blue text";
    }
  }

  std::unique_ptr<TracedRun> run_;
};

TEST_P(LookTest, InformationPage) {
  auto app = Start(0);
  app->Screenshot(Shot(L"page0-information"));
  ExpectPixels(*app,
               {{3, 30, kWhite, "banner"}, {100, 95, PageColour(), "page"}, {100, 128, BarColour(), "bottom bar"}});
  ExpectTextColour(*app, ids::Panel14, RGB(128, 128, 0), "olive information text");
  ExpectBlueLinks(*app, {ids::Panel9, ids::SpeedButton6, ids::SpeedButton5});
  EXPECT_EQ(app->CloseAndWait(), 0u);
}

TEST_P(LookTest, EncryptPage) {
  auto app = Start(1);
  app->SetText(ids::Password1, L"abc");
  app->Screenshot(Shot(L"page1-encrypt"));
  ExpectPixels(*app, {{3, 104, PageColour(), "page"}, {100, 128, BarColour(), "bottom bar"}});
  ExpectBlueLinks(*app, {ids::SpeedButton3, ids::SpeedButton4});
  // The edit shows stars, not a bullet and not the text.
  const std::wstring shown = [&] {
    wchar_t c = static_cast<wchar_t>(SendMessageW(app->Control(ids::Password1), EM_GETPASSWORDCHAR, 0, 0));
    return std::wstring(1, c);
  }();
  EXPECT_EQ(shown, L"*");
  EXPECT_EQ(app->CloseAndWait(), 0u);
}

TEST_P(LookTest, DecryptPage) {
  auto app = Start(2);
  app->Screenshot(Shot(L"page2-decrypt"));
  ExpectPixels(*app, {{3, 104, PageColour(), "page"}, {100, 128, BarColour(), "bottom bar"}});
  ExpectTextColour(*app, ids::Panel3, RGB(128, 0, 0), "maroon hint text");
  ExpectBlueLinks(*app, {ids::SpeedButton1});
  EXPECT_EQ(app->CloseAndWait(), 0u);
}

TEST_P(LookTest, StatusPage) {
  auto app = Start(3);
  app->Screenshot(Shot(L"page3-status"));
  ExpectPixels(
      *app, {{3, 25, kWhite, "banner"}, {100, 128, BarColour(), "bottom bar"}, {2, 60, PageColour(), "status panel"}});
  EXPECT_GT(CountPixels(*app, app->ControlRect(ids::Panel13), IsRed), 20) << "red status text";
  // The logo's transparent colour lets the white banner through.
  const RECT logo = app->ControlRect(ids::Image3);
  ExpectPixel(*app, logo.right - 2, logo.bottom - 2, kWhite, "logo background");
  EXPECT_GT(CountPixels(*app, logo, [](COLORREF c) { return !Near(c, kWhite, 20); }), 100) << "logo drawn";
  ExpectBlueLinks(*app, {ids::SpeedButton9, ids::SpeedButton10});
  EXPECT_EQ(app->CloseAndWait(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Looks, LookTest, ::testing::Values(Look{true, "themed"}, Look{false, "classic"}),
                         [](const auto& p) { return std::string(p.param.name); });

struct Placement {
  int id;
  RECT client;  // in the window's client area, at 96 DPI
};

TEST(Layout, ControlsStandWhereTheDesignPutsThemAt96Dpi) {
  const Placement placements[] = {
      {ids::Notebook1, {0, 0, 200, 149}},     {ids::Panel8, {0, 0, 200, 57}},
      {ids::Panel14, {7, 4, 192, 21}},        {ids::Panel7, {8, 60, 193, 77}},
      {ids::Panel9, {48, 80, 153, 97}},       {ids::Panel5, {0, 108, 200, 149}},
      {ids::SpeedButton6, {8, 116, 97, 141}}, {ids::SpeedButton5, {104, 116, 193, 141}},
      {ids::GroupBox3, {8, 8, 193, 54}},      {ids::Password1, {16, 24, 185, 45}},
      {ids::GroupBox4, {8, 56, 193, 102}},    {ids::Password2, {16, 72, 185, 93}},
      {ids::GroupBox1, {8, 8, 193, 97}},      {ids::Panel3, {16, 24, 185, 41}},
      {ids::Password, {16, 64, 185, 85}},     {ids::Panel11, {0, 0, 200, 49}},
      {ids::Image3, {24, 9, 179, 41}},        {ids::Panel13, {0, 49, 200, 108}},
      {ids::SpeedButton9, {8, 116, 97, 141}}, {ids::SpeedButton10, {104, 116, 193, 141}},
  };
  App app(L"");
  ASSERT_TRUE(app.WaitForWindow());
  for (const Placement& p : placements) {
    const RECT got = app.ControlRect(p.id);
    EXPECT_TRUE(EqualRect(&got, &p.client))
        << "control " << p.id << " at " << got.left << "," << got.top << " " << got.right << "," << got.bottom;
  }
  EXPECT_EQ(app.CloseAndWait(), 0u);
}

// The resolution of a Wine session is fixed when its server starts, so
// ./run-tests runs this once more in a session at 144 DPI.
TEST(Layout, ScalesWithTheScreenResolution) {
  wchar_t expected[16] = {};
  if (!GetEnvironmentVariableW(L"FERRUNE_EXPECT_DPI", expected, 16)) GTEST_SKIP() << "runs in the 144 DPI session";
  ASSERT_STREQ(expected, L"144");
  App app(L"\"C:\\Docs\\a.txt\" /crypt");
  ASSERT_TRUE(app.WaitForWindow());
  ASSERT_TRUE(app.WaitForPage(1));
  ASSERT_EQ(GetDpiForWindow(app.Window()), 144u);
  app.Screenshot(L"themed-page1-encrypt-144dpi");
  RECT client{};
  GetClientRect(app.Window(), &client);
  EXPECT_EQ(client.right, 300);
  EXPECT_EQ(client.bottom, 224);  // 149 * 1.5, rounded
  const RECT edit = app.ControlRect(ids::Password1);
  EXPECT_EQ(edit.left, 24);
  EXPECT_EQ(edit.top, 36);
  EXPECT_EQ(edit.right - edit.left, 254);
  const RECT button = app.ControlRect(ids::SpeedButton4);
  EXPECT_EQ(button.left, 156);
  EXPECT_EQ(button.top, 174);
  EXPECT_GT(CountPixels(app, button, IsBlue), 20) << "link text drawn at the new size";
  EXPECT_EQ(app.CloseAndWait(), 0u);
}

// The height the design's font needs for `text` wrapped at `width`.
int WrappedHeight(const std::wstring& text, const RECT& width, UINT dpi) {
  HFONT font =
      CreateFontW(-MulDiv(8, int(dpi), 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, RUSSIAN_CHARSET, 0, 0, 0, 0, L"Tahoma");
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, font);
  RECT rc{0, 0, width.right - width.left, 0};
  DrawTextW(dc, text.c_str(), -1, &rc, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
  DeleteDC(dc);
  DeleteObject(font);
  return rc.bottom;
}

// Why a job failed or kept its input stands below the outcome, whole, inside
// the page, at the session's resolution (./run-tests runs this at 144 DPI
// too); the window grows where the two need more room than it has.
TEST(Layout, TheReasonStandsBelowTheOutcome) {
  wchar_t full[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"FERRUNE_FULL_DIR", full, MAX_PATH) || !FileExists(full + std::wstring(L"\\mounted"))) {
    GTEST_SKIP() << "no small tmpfs (needs root and mount -t tmpfs); not tested here";
  }
  struct Row {
    const wchar_t* shot;
    std::wstring folder;
    const wchar_t *fault, *outcome, *reason;
    bool readOnly, wraps;
    const char* trace;
  };
  const TempFolder folder;
  const Row rows[] = {
      {L"status-disk-full", full, L"", L"Cannot write the output file", L"Disk full.", false, false,
       "outcome=CannotWrite cause=write win32:112"},
      {L"status-kept-read-only", folder.Path(), L"", L"Encryption completed\nThe original file was kept",
       L"The system did not let it be deleted. Access denied.", true, true,
       "outcome=Success kept cause=delete win32:5"},
      {L"status-delete-not-durable", folder.Path(), L"deleteflush",
       L"Encryption completed\nThe original file was deleted, but the disk reported an error: it may come back after a "
       L"power cut",
       L"I/O device error.", false, false, "outcome=Success cause=flush win32:1117"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Utf8(row.shot));
    const std::wstring file = row.folder + L"\\in.bin";
    WriteFileBytes(file, std::string(row.folder == full ? 1200 * 1024 : 100, 'x'));
    ASSERT_TRUE(!row.readOnly || SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    const TracedRun run({std::wstring(L"FERRUNE_FAULT=") + row.fault});
    App app(L"\"" + file + L"\" /crypt", run.environment);
    ASSERT_TRUE(app.WaitForWindow() && app.WaitForPage(1));
    const UINT dpi = GetDpiForWindow(app.Window());
    for (const int edit : {ids::Password1, ids::Password2}) app.SetText(edit, L"long enough");
    app.Click(ids::SpeedButton3);
    EXPECT_EQ(app.WaitForStatusOtherThan(L"Please wait while the file is encrypted"), row.outcome);
    EXPECT_EQ(app.Text(ids::Panel17), row.reason);
    EXPECT_EQ(std::ranges::count(run.Lines(), std::string(row.trace)), 1);
    const std::wstring shot = row.shot + std::wstring(dpi == 96 ? L"" : L"-" + std::to_wstring(dpi) + L"dpi");
    app.Screenshot(shot);
    EXPECT_TRUE(FileExists(ScreenshotDir() + L"\\" + shot + L".png"));
    const RECT outcome = app.ControlRect(ids::Panel13), reason = app.ControlRect(ids::Panel17);
    EXPECT_GE(outcome.bottom - outcome.top, WrappedHeight(row.outcome, outcome, dpi));
    EXPECT_GE(reason.bottom - reason.top, WrappedHeight(row.reason, reason, dpi));
    EXPECT_EQ(WrappedHeight(row.reason, reason, dpi) > WrappedHeight(L"X", reason, dpi), row.wraps);
    EXPECT_TRUE(reason.top >= outcome.bottom && reason.left >= outcome.left && reason.right <= outcome.right);
    EXPECT_LE(reason.bottom, app.ControlRect(ids::Panel12).top);
    EXPECT_GT(CountPixels(app, reason, [](COLORREF c) { return Near(c, GetSysColor(COLOR_WINDOWTEXT), 60); }), 10);
    EXPECT_EQ(app.CloseAndWait(), 0u);
    for (const std::wstring& path : {file, file + L".zrv"}) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const std::wstring& path : {file, file + L".zrv"}) DeleteFileW(path.c_str());
  }
}

}  // namespace
}  // namespace e2e
