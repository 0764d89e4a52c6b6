// The window-procedure thunk: `this` is stored at WM_NCCREATE, and no
// exception ever crosses into Win32.
#pragma once

#include <windows.h>

#include "app/toolkit/error_box.h"

namespace ferrune {

template <typename Derived>
class BaseWindow {
 public:
  HWND Handle() const { return hwnd_; }

 protected:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Derived* self = nullptr;
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      self = static_cast<Derived*>(cs->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    try {
      const LRESULT result = self->HandleMessage(msg, wp, lp);
      if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
      }
      return result;
    } catch (...) {
      ShowCurrentErrorBox();
      return 0;
    }
  }

  HWND hwnd_ = nullptr;
};

}  // namespace ferrune
