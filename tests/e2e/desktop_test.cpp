// The window among others: where the focus goes when it comes back, and the
// taskbar button of the application's own window.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

namespace ids = ferrune::ids;

// Waits while serving this thread's own window.
template <typename F>
bool PumpUntil(F ok, std::chrono::milliseconds timeout = 5s) {
  return WaitUntil(
      [&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        return ok();
      },
      timeout);
}

// Another program's window to switch to, as the user would.
class OtherWindow {
 public:
  OtherWindow() {
    hwnd_ = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 160, 90, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  }
  ~OtherWindow() { DestroyWindow(hwnd_); }
  OtherWindow(const OtherWindow&) = delete;
  OtherWindow& operator=(const OtherWindow&) = delete;
  HWND get() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

// Makes `hwnd` the foreground window and waits until it stays so: the X
// server's late focus events of a window just shown can take it back once.
bool BringToFront(HWND hwnd) {
  for (int settled = 0; settled < 5;) {
    if (!PumpUntil([&] {
          if (GetForegroundWindow() != hwnd) SetForegroundWindow(hwnd);
          return GetForegroundWindow() == hwnd;
        }))
      return false;
    Sleep(50ms);
    settled = GetForegroundWindow() == hwnd ? settled + 1 : 0;
  }
  return true;
}

// Goes to another window, then back to the program's form.
void AwayAndBack(App& app) {
  OtherWindow other;
  ASSERT_TRUE(other.get());
  ASSERT_TRUE(BringToFront(other.get()));
  ASSERT_TRUE(PumpUntil([&] { return app.ActiveWindow() == nullptr; })) << "the form is inactive";
  ASSERT_TRUE(BringToFront(app.Window()));
}

std::wstring TextOf(HWND hwnd) {
  wchar_t text[128] = {};
  GetWindowTextW(hwnd, text, 128);
  return text;
}

TEST(Focus, ComesBackWhereItWasAfterABoxOfTheWholeProgramAndAfterAnotherWindow) {
  App app(L"\"C:\\Docs\\f.txt\" /crypt");
  ASSERT_TRUE(app.WaitForWindow());
  ASSERT_TRUE(app.WaitForPage(1));
  ASSERT_TRUE(BringToFront(app.Window()));
  ASSERT_TRUE(PumpUntil([&] { return app.Focus() == app.Control(ids::Password1); })) << "the first activation";
  app.PressKey(ids::Password1, VK_TAB);
  ASSERT_TRUE(PumpUntil([&] { return app.Focus() == app.Control(ids::Password2); }));
  app.SetText(ids::Password1, L"short");
  app.SetText(ids::Password2, L"short");
  app.Click(kEncryptButton);
  std::optional<MessageBoxInfo> box = app.WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text,
            L"You have entered a password which has less than 6 characters.\n\rAre you sure you want to continue?");
  // The taskbar's window is disabled with the form, and its minimise leaves
  // no box alone on the screen.
  EXPECT_FALSE(IsWindowEnabled(app.Window()));
  EXPECT_FALSE(IsWindowEnabled(app.Owner()));
  PostMessageW(app.Owner(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  PumpUntil([] { return false; }, 500ms);
  EXPECT_FALSE(IsIconic(app.Owner()));
  EXPECT_TRUE(IsWindowVisible(app.Window()));
  EXPECT_TRUE(IsWindowVisible(box->hwnd));
  app.Answer(*box, IDNO);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowEnabled(app.Window()) && IsWindowEnabled(app.Owner()); }));
  EXPECT_TRUE(PumpUntil([&] { return app.Focus() == app.Control(ids::Password2); })) << "after the box";
  EXPECT_EQ(app.ActiveWindow(), app.Window());
  AwayAndBack(app);
  EXPECT_TRUE(PumpUntil([&] { return app.Focus() == app.Control(ids::Password2); })) << "after another window";
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
}

class EscTest : public ::testing::TestWithParam<int> {};

// Pages without a control that takes the focus: the form takes it.
TEST_P(EscTest, ClosesAPageWithoutEditsAfterTheWindowWasAwayAndBack) {
  const int page = GetParam();
  App app(page == 0 ? L"" : L"C:\\Docs\\a.zrv");
  ASSERT_TRUE(app.WaitForWindow());
  ASSERT_TRUE(app.WaitForPage(page));
  AwayAndBack(app);
  EXPECT_TRUE(PumpUntil([&] { return app.Focus() == app.Window(); }));
  ASSERT_TRUE(app.PressKeyInFocus(VK_ESCAPE)) << "nothing of the program has the focus";
  EXPECT_EQ(app.WaitForExit(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Pages, EscTest, ::testing::Values(0, 3));

// Wine's explorer gives a button to a visible top-level window that is not
// a tool window and is either unowned or marked as an application window.
std::vector<HWND> WindowsWithATaskbarButton(DWORD processId) {
  struct Search {
    DWORD processId;
    std::vector<HWND> found;
  } search{processId, {}};
  EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        const LONG exStyle = GetWindowLongW(hwnd, GWL_EXSTYLE);
        if (pid == s->processId && IsWindowVisible(hwnd) && !(exStyle & WS_EX_TOOLWINDOW) &&
            (!GetWindow(hwnd, GW_OWNER) || (exStyle & WS_EX_APPWINDOW)))
          s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

TEST(Taskbar, TheApplicationsWindowHasTheButtonAndHandsEverythingOnToTheForm) {
  App app(L"\"C:\\Docs\\t.txt\" /crypt");
  ASSERT_TRUE(app.WaitForWindow());
  ASSERT_TRUE(app.WaitForPage(1));
  HWND form = app.Window();
  const std::vector<HWND> buttons = WindowsWithATaskbarButton(app.ProcessId());
  ASSERT_EQ(buttons.size(), 1u) << "one button, and not the form's";
  HWND owner = buttons.front();
  EXPECT_EQ(app.Owner(), owner);
  EXPECT_EQ(TextOf(owner), kTitle);
  EXPECT_EQ(TextOf(form), L"Ferrune");
  RECT ownerRect{};
  GetWindowRect(owner, &ownerRect);
  EXPECT_EQ(ownerRect.right - ownerRect.left, 0);
  EXPECT_EQ(ownerRect.bottom - ownerRect.top, 0);
  EXPECT_TRUE(GetWindowLongW(form, GWL_EXSTYLE) & WS_EX_TOPMOST);

  // Activation from the taskbar or Alt+Tab lands on the owner and goes on to the form.
  {
    OtherWindow other;
    ASSERT_TRUE(BringToFront(other.get()));
    SetForegroundWindow(owner);
    EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == form; }));
    EXPECT_TRUE(PumpUntil([&] { return app.Focus() == app.Control(ids::Password1); }));
  }
  ASSERT_TRUE(BringToFront(form));

  // The form's minimise goes through the owner; the taskbar's restore brings it back.
  PostMessageW(form, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(owner) && !IsWindowVisible(form); }));
  PostMessageW(owner, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsIconic(owner) && IsWindowVisible(form) && GetForegroundWindow() == form; }))
      << "iconic " << IsIconic(owner) << " visible " << IsWindowVisible(form) << " foreground "
      << (GetForegroundWindow() == form    ? "form"
          : GetForegroundWindow() == owner ? "owner"
                                           : "other");
  EXPECT_TRUE(GetWindowLongW(form, GWL_EXSTYLE) & WS_EX_TOPMOST) << "still on top";

  // The taskbar's Close.
  PostMessageW(owner, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(app.WaitForExit(), 0u);
}

}  // namespace
}  // namespace e2e
