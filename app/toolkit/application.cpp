#include "app/toolkit/application.h"

#include "app/toolkit/error_box.h"
#include "app/toolkit/thread.h"

namespace ferrune {
namespace {

// Posted to this window by its own activation, once that has settled.
constexpr UINT kHandOnActivation = WM_USER + 1;
constexpr DWORD kOwnerStyle = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;

}  // namespace

TApplication& TApplication::Instance() {
  static TApplication app;
  return app;
}

void TApplication::Initialize(HINSTANCE instance) {
  instance_ = instance;
  mainThreadId_ = GetCurrentThreadId();
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = L"FerruneApplication";
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
  // Zero size in the middle of the primary monitor, where the main window
  // covers the 1 x 1 X window that Wine maps for it.
  window_ = CreateWindowExW(0, wc.lpszClassName, title_.c_str(), kOwnerStyle, GetSystemMetrics(SM_CXSCREEN) / 2,
                            GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr, instance, nullptr);
  SetWakeUpWindow(window_);
  if (!window_) return;
  // The program's icon for the taskbar and Alt+Tab; a test program has none.
  iconBig_.reset(static_cast<HICON>(
      LoadImageW(instance, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
  iconSmall_.reset(static_cast<HICON>(
      LoadImageW(instance, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
  if (iconBig_) SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconBig_.get()));
  if (iconSmall_) SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(iconSmall_.get()));
}

void TApplication::ShowOwner() {
  if (window_) ShowWindow(window_, SW_SHOWNA);
}

void TApplication::HideOwner() {
  if (window_) ShowWindow(window_, SW_HIDE);
}

void TApplication::Minimize() {
  if (!window_ || !mainForm_) return;
  formMinimized_ = true;
  ShowWindow(mainForm_, SW_HIDE);
  ShowWindow(window_, SW_MINIMIZE);
}

void TApplication::HandOnActivation() {
  // Only if nothing else took the activation meanwhile. While a box of the
  // form's shows, the form is disabled and the box is what the user wants.
  if (!mainForm_ || GetActiveWindow() != window_ || IsIconic(window_) || !IsWindowVisible(mainForm_)) return;
  HWND target = IsWindowEnabled(mainForm_) ? mainForm_ : GetLastActivePopup(mainForm_);
  if (target && IsWindowEnabled(target)) SetForegroundWindow(target);
}

void TApplication::SetTitle(const std::wstring& title) {
  title_ = title;
  if (window_) SetWindowTextW(window_, title_.c_str());
}

LRESULT CALLBACK TApplication::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TApplication& app = Instance();
  if (hwnd != app.window_) return DefWindowProcW(hwnd, msg, wp, lp);
  return app.HandleMessage(msg, wp, lp);
}

LRESULT TApplication::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  // WM_NULL wakes the loop; the queue is served by the loop itself, never
  // here, since a modal box inside a handler dispatches posted messages too.
  const bool formAlive = mainForm_ && IsWindow(mainForm_);
  switch (msg) {
    case WM_CLOSE:
      // The taskbar's Close takes the form's own close path, and like the
      // form's title bar it is not there while one of the form's boxes shows.
      if (formAlive && IsWindowEnabled(mainForm_)) PostMessageW(mainForm_, WM_CLOSE, 0, 0);
      return 0;
    case WM_SIZE:
      if (!formAlive) break;
      if (wp == SIZE_MINIMIZED && IsWindowVisible(mainForm_)) {
        formMinimized_ = true;
        ShowWindow(mainForm_, SW_HIDE);
      } else if (wp == SIZE_RESTORED && formMinimized_) {
        formMinimized_ = false;
        ShowWindow(mainForm_, SW_SHOW);
        PostMessageW(window_, kHandOnActivation, 0, 0);
      }
      break;
    case WM_SYSCOMMAND:
      // The taskbar's minimise would hide the form and leave a box of the
      // program alone on the screen; while one shows, this window is disabled.
      if ((wp & 0xFFF0) == SC_MINIMIZE && !IsWindowEnabled(window_)) return 0;
      break;
    case WM_ACTIVATE:
      if (formAlive && LOWORD(wp) != WA_INACTIVE) PostMessageW(window_, kHandOnActivation, 0, 0);
      return 0;
    case kHandOnActivation: HandOnActivation(); return 0;
    default: break;
  }
  return DefWindowProcW(window_, msg, wp, lp);
}

void TApplication::Run(const std::function<bool()>& done) {
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        terminated_ = true;
        return;
      }
      if (msg.hwnd == window_ && msg.message == WM_NULL) {
        ServeSynchronizeQueue();
        continue;
      }
      if (mainForm_ && IsWindow(mainForm_) && IsDialogMessageW(mainForm_, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    // Idle: serve what arrived while a handler or a modal box ran.
    ServeSynchronizeQueue();
    if (terminated_ || (done && done())) return;
    WaitMessage();
  }
}

void TApplication::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

}  // namespace ferrune
