// The application object: its title, a hidden window that outlives the main
// window (the target of the workers' wake-ups), and the message loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ferrune {

class TApplication {
 public:
  static TApplication& Instance();

  void Initialize(HINSTANCE instance);
  void SetTitle(const std::wstring& title);
  const std::wstring& Title() const { return title_; }
  HINSTANCE ModuleInstance() const { return instance_; }
  HWND Handle() const { return window_; }
  DWORD MainThreadId() const { return mainThreadId_; }

  // The window whose dialog keys (Tab) the loop handles.
  void SetMainForm(HWND form) { mainForm_ = form; }

  // Runs the loop until Terminate, WM_QUIT, or `done` returns true.
  void Run(const std::function<bool()>& done = {});
  void Terminate();

 private:
  TApplication() = default;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  HWND mainForm_ = nullptr;
  DWORD mainThreadId_ = 0;
  std::wstring title_;
  bool terminated_ = false;
};

}  // namespace ferrune
