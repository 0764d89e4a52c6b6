// The application object: its title, its own window, and the message loop.
// The window carries the title and icon on the taskbar, owns the main window
// and outlives it (the target of the workers' wake-ups).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/win32/win_handles.h"

namespace ferrune {

class TApplication {
 public:
  static TApplication& Instance();

  void Initialize(HINSTANCE instance);
  void SetTitle(const std::wstring& title);
  const std::wstring& Title() const { return title_; }
  HINSTANCE ModuleInstance() const { return instance_; }
  HWND Handle() const { return window_; }
  // The program's icon, ICON_BIG or ICON_SMALL; null in a program without it.
  HICON Icon(WPARAM size) const { return size == ICON_BIG ? iconBig_.get() : iconSmall_.get(); }
  DWORD MainThreadId() const { return mainThreadId_; }

  // The window whose dialog keys (Tab) the loop handles, and to which this
  // window hands on its activation, minimise, restore and close.
  void SetMainForm(HWND form) { mainForm_ = form; }
  HWND MainForm() const { return mainForm_; }
  // Shows this window at zero size: an owner that is hidden gives the
  // program no taskbar button under Wine.
  void ShowOwner();
  void HideOwner();
  // The main window's minimise: hides it and minimises this window.
  void Minimize();

  // Runs the loop until Terminate, WM_QUIT, or `done` returns true.
  void Run(const std::function<bool()>& done = {});
  void Terminate();

 private:
  TApplication() = default;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void HandOnActivation();

  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  HWND mainForm_ = nullptr;
  DWORD mainThreadId_ = 0;
  std::wstring title_;
  UniqueIcon iconBig_, iconSmall_;
  bool terminated_ = false;
  bool formMinimized_ = false;
};

}  // namespace ferrune
