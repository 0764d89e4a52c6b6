#include "app/toolkit/ui_control.h"

#include <string>

#include "app/toolkit/custom_form.h"
#include "platform/win32/win_handles.h"

namespace ferrune {

std::wstring TextOf(HWND hwnd) {
  std::wstring text(size_t(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(hwnd, text.data(), int(text.size()))));
  return text;
}

namespace {

COLORREF Resolve(COLORREF color) { return color == kWindowTextColor ? GetSysColor(COLOR_WINDOWTEXT) : color; }

}  // namespace

void TControl::RegisterClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
}

HWND TControl::Create(HWND parent, DWORD style, DWORD exStyle) {
  return CreateWindowExW(exStyle, kClassName, row_.text ? row_.text : L"", style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(row_.id)), GetModuleHandleW(nullptr), this);
}

LRESULT TControl::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      RECT rc;
      GetClientRect(hwnd_, &rc);
      // Drawn off screen first, so that a repaint never flickers.
      MemoryDc mem(CreateCompatibleDC(dc));
      GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc, rc.right, rc.bottom));
      if (mem && bitmap) {
        SelectIn keep(mem.get(), bitmap.get());
        Paint(mem.get(), rc);
        BitBlt(dc, 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, SRCCOPY);
      } else {
        Paint(dc, rc);
      }
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_SETTEXT:
    case WM_ENABLE: {
      const LRESULT r = DefWindowProcW(hwnd_, msg, wp, lp);
      if (msg == WM_ENABLE && !wp) hover_ = pressed_ = false;
      InvalidateRect(hwnd_, nullptr, FALSE);
      return r;
    }
    case WM_SETCURSOR: SetCursor(LoadCursorW(nullptr, (row_.look & kHandCursor) ? IDC_HAND : IDC_ARROW)); return TRUE;
    case WM_MOUSEMOVE:
      if (row_.clickable && IsWindowEnabled(hwnd_) && !hover_) {
        hover_ = true;
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, hwnd_, 0};
        TrackMouseEvent(&tme);
        InvalidateRect(hwnd_, nullptr, FALSE);
      }
      return 0;
    case WM_MOUSELEAVE:
      hover_ = false;
      InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // A disabled control ignores clicks, posted ones too; none takes the focus.
      if (row_.clickable && IsWindowEnabled(hwnd_)) {
        pressed_ = true;
        SetCapture(hwnd_);
        InvalidateRect(hwnd_, nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONUP:
      if (pressed_) {
        pressed_ = false;
        if (GetCapture() == hwnd_) ReleaseCapture();
        InvalidateRect(hwnd_, nullptr, FALSE);
        RECT rc;
        GetClientRect(hwnd_, &rc);
        const POINT pt{short(LOWORD(lp)), short(HIWORD(lp))};
        if (PtInRect(&rc, pt)) form_.Click(hwnd_);
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (pressed_) {
        pressed_ = false;
        InvalidateRect(hwnd_, nullptr, FALSE);
      }
      return 0;
    case WM_GETDLGCODE: return DLGC_STATIC;
    default: return DefWindowProcW(hwnd_, msg, wp, lp);
  }
}

void TControl::Paint(HDC dc, const RECT& rc) {
  const COLORREF background = form_.BackgroundOf(hwnd_);
  GdiObject<HBRUSH> brush(CreateSolidBrush(background));
  FillRect(dc, &rc, brush.get());
  switch (row_.kind) {
    case ControlKind::GroupBox: PaintGroupBox(dc, rc, background); return;
    case ControlKind::LinkButton: PaintLinkButton(dc, rc); return;
    case ControlKind::Image: PaintImage(dc, rc, background); return;
    default: break;
  }
  RECT inner = rc;
  if (row_.look & (kRaisedOuter | kLoweredOuter)) {
    DrawEdge(dc, &inner, (row_.look & kRaisedOuter) ? BDR_RAISEDOUTER : BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  }
  if (row_.look & kRaisedInner) DrawEdge(dc, &inner, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
  if (row_.kind == ControlKind::Panel) {
    const UINT format = (row_.look & kMultiLine) ? kMultiLineFormat : DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    PaintText(dc, inner, Resolve(row_.textColor), (row_.look & kUnderline) != 0, format);
  }
}

void TControl::PaintText(HDC dc, RECT rc, COLORREF color, bool underline, UINT format) {
  const std::wstring text = TextOf(hwnd_);
  if (text.empty()) return;
  SelectIn font(dc, form_.Font(underline));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, color);
  if (format & DT_WORDBREAK) {
    // Several lines, centred as a block in both directions.
    RECT measure = rc;
    DrawTextW(dc, text.c_str(), int(text.size()), &measure, format | DT_CALCRECT);
    const int height = measure.bottom - measure.top;
    rc.top += (rc.bottom - rc.top - height) / 2;
  }
  DrawTextW(dc, text.c_str(), int(text.size()), &rc, format | DT_NOPREFIX);
}

void TControl::PaintGroupBox(HDC dc, const RECT& rc, COLORREF background) {
  const std::wstring text = TextOf(hwnd_);
  SelectIn font(dc, form_.Font(false));
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  RECT frame = rc;
  frame.top += tm.tmHeight / 2;
  DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
  if (text.empty()) return;
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
  RECT caption{form_.Scale(8), 0, form_.Scale(8) + size.cx, tm.tmHeight};
  GdiObject<HBRUSH> brush(CreateSolidBrush(background));
  FillRect(dc, &caption, brush.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, Resolve(row_.textColor));
  DrawTextW(dc, text.c_str(), int(text.size()), &caption, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

void TControl::PaintLinkButton(HDC dc, const RECT& rc) {
  RECT inner = rc;
  if (pressed_) {
    DrawEdge(dc, &inner, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    OffsetRect(&inner, 1, 1);
  } else if (hover_) {
    DrawEdge(dc, &inner, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
  }
  const bool enabled = IsWindowEnabled(hwnd_) != FALSE;
  PaintText(dc, inner, enabled ? Resolve(row_.textColor) : GetSysColor(COLOR_GRAYTEXT), true,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void TControl::PaintImage(HDC dc, const RECT& rc, COLORREF background) { form_.Image().Draw(dc, rc, background); }

}  // namespace ferrune
