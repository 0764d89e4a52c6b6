#include "application.h"

#include "error_box.h"
#include "thread.h"

namespace ferrune {

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
  // A message-only window would not own a taskbar button's title; a hidden
  // top-level window is what the wake-ups need.
  window_ =
      CreateWindowExW(0, wc.lpszClassName, title_.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  SetWakeUpWindow(window_);
}

void TApplication::SetTitle(const std::wstring& title) {
  title_ = title;
  if (window_) SetWindowTextW(window_, title_.c_str());
}

LRESULT CALLBACK TApplication::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // WM_NULL wakes the loop; the queue is served by the loop itself, never
  // here, since a modal box inside a handler dispatches posted messages too.
  return DefWindowProcW(hwnd, msg, wp, lp);
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
