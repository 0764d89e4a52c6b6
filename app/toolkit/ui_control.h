// The toolkit's own controls: panels, pages, group boxes, link buttons and
// the image, drawn from their design row.
#pragma once

#include <windows.h>

#include <string>

#include "app/toolkit/base_window.h"
#include "app/toolkit/design.h"

namespace ferrune {

class TCustomForm;

// How a multi-line panel draws its text, and how its height is measured.
inline constexpr UINT kMultiLineFormat = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;

// A control's text, as it stands now.
std::wstring TextOf(HWND hwnd);

class TControl : public BaseWindow<TControl> {
 public:
  TControl(TCustomForm& form, const ControlRow& row) : form_(form), row_(row) {}
  static void RegisterClass(HINSTANCE instance);
  static constexpr const wchar_t* kClassName = L"FerruneControl";

  HWND Create(HWND parent, DWORD style, DWORD exStyle);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

 private:
  void Paint(HDC dc, const RECT& rc);
  void PaintText(HDC dc, RECT rc, COLORREF color, bool underline, UINT format);
  void PaintGroupBox(HDC dc, const RECT& rc, COLORREF background);
  void PaintLinkButton(HDC dc, const RECT& rc);
  void PaintImage(HDC dc, const RECT& rc, COLORREF background);

  TCustomForm& form_;
  const ControlRow row_;
  bool hover_ = false;
  bool pressed_ = false;
};

}  // namespace ferrune
