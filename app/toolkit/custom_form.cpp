#include "app/toolkit/custom_form.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <cwchar>

#include "app/toolkit/application.h"
#include "app/toolkit/error.h"
#include "app/toolkit/error_box.h"
#include "app/toolkit/logic/window_position.h"
#include "app/toolkit/program_box.h"
#include "app/toolkit/ui_control.h"
#include "core/texts.h"

namespace ferrune {

TCustomForm::TCustomForm(const FormFrame& frame) : frame_(frame) {}

TCustomForm::~TCustomForm() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void TCustomForm::Create() {
  HINSTANCE instance = TApplication::Instance().ModuleInstance();
  TControl::RegisterClass(instance);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.hIcon = TApplication::Instance().Icon(ICON_BIG);
  wc.hIconSm = TApplication::Instance().Icon(ICON_SMALL);
  wc.lpszClassName = frame_.className;
  if (!RegisterClassExW(&wc)) throw Error(texts::kCannotRegisterClass);
  // Owned by the application's window, which has the taskbar button.
  if (!CreateWindowExW(frame_.exStyle, frame_.className, frame_.caption, frame_.style, 0, 0, 0, 0,
                       TApplication::Instance().Handle(), nullptr, instance, this)) {
    throw Error(texts::kCannotCreateWindow);
  }
  dpi_ = int(GetDpiForWindow(hwnd_));
  if (dpi_ <= 0) dpi_ = 96;
  themed_ = IsThemeActive() && IsAppThemed();
  image_ = BitmapImage::Load(instance, frame_.image);
  MakeFonts();
  BuildControls();
  LayOut();
  // The toolkit's creation step: an error from the handler is shown, and the
  // window is created and shown all the same.
  try {
    FormCreate();
  } catch (...) {
    ShowCurrentErrorBox();
  }
}

void TCustomForm::Show() {
  FormShow();
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
}

void TCustomForm::FormClose() { DestroyWindow(hwnd_); }

void TCustomForm::MakeFonts() {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(frame_.font.points, dpi_, 72);
  lf.lfWeight = FW_NORMAL;
  // The texts are drawn as Unicode, so the character set keeps none of them
  // out; it only steers the font mapper where the face itself is missing.
  lf.lfCharSet = frame_.font.charset;
  lf.lfQuality = DEFAULT_QUALITY;
  wcscpy_s(lf.lfFaceName, frame_.font.face);
  font_.reset(CreateFontIndirectW(&lf));
  lf.lfUnderline = TRUE;
  underlineFont_.reset(CreateFontIndirectW(&lf));
}

HWND TCustomForm::AddControl(HWND parent, const ControlRow& row, std::function<void()> onClick) {
  HINSTANCE instance = TApplication::Instance().ModuleInstance();
  const DWORD visible = (row.look & kHidden) ? 0 : WS_VISIBLE;
  const DWORD child = WS_CHILD | WS_CLIPSIBLINGS | visible;
  HWND hwnd = nullptr;
  switch (row.kind) {
    case ControlKind::PasswordEdit:
      hwnd = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                             child | ((row.look & kTabStop) ? WS_TABSTOP : 0) | ES_PASSWORD | ES_AUTOHSCROLL, 0, 0, 0,
                             0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
      // The themed edit would show a bullet.
      if (hwnd) SendMessageW(hwnd, EM_SETPASSWORDCHAR, L'*', 0);
      break;
    case ControlKind::ProgressBar:
      hwnd = CreateWindowExW(0, PROGRESS_CLASSW, L"", child | PBS_SMOOTH, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
      if (hwnd) SendMessageW(hwnd, PBM_SETRANGE32, 0, 1000);
      break;
    default: {
      auto control = std::make_unique<TControl>(*this, row);
      const bool container =
          row.kind == ControlKind::Notebook || row.kind == ControlKind::Page || row.kind == ControlKind::GroupBox;
      hwnd = control->Create(parent, child | (container ? WS_CLIPCHILDREN : 0), container ? WS_EX_CONTROLPARENT : 0);
      controls_.push_back(std::move(control));
    }
  }
  if (!hwnd) throw Error(texts::kCannotCreateControl + std::wstring(row.name));
  placed_.push_back({hwnd, parent == hwnd_ ? nullptr : parent, row, std::move(onClick)});
  return hwnd;
}

void TCustomForm::LayOut() {
  PlaceControls();
  const SIZE size = WindowSize();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    monitor.rcMonitor = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    monitor.rcWork = monitor.rcMonitor;
  }
  const auto rect = [](const RECT& r) { return ScreenRect{r.left, r.top, r.right, r.bottom}; };
  const ScreenPoint at = InitialWindowPosition(size.cx, size.cy, rect(monitor.rcMonitor), rect(monitor.rcWork));
  SetWindowPos(hwnd_, nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TCustomForm::PlaceControls() {
  for (const Placed& p : placed_) {
    const RECT rc = PlacedRect(p.hwnd);
    SetWindowPos(p.hwnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (p.row.kind == ControlKind::PasswordEdit) SendMessageW(p.hwnd, WM_SETFONT, WPARAM(font_.get()), TRUE);
  }
}

SIZE TCustomForm::WindowSize() const {
  RECT rc{0, 0, Scale(frame_.clientWidth), Scale(frame_.clientHeight) + growth_};
  AdjustWindowRectExForDpi(&rc, frame_.style, FALSE, frame_.exStyle, UINT(dpi_));
  return {rc.right - rc.left, rc.bottom - rc.top};
}

RECT TCustomForm::PlacedRect(HWND control) const {
  const Placed* p = PlacedOf(control);
  if (!p) return {};
  const int left = Scale(p->row.left);
  const int top = Scale(p->row.top) + ((p->row.look & kFollowsBottom) ? growth_ : 0);
  const int height = Scale(p->row.height) + ((p->row.look & kStretchesDown) ? growth_ : 0);
  return {left, top, left + Scale(p->row.width), top + height};
}

void TCustomForm::SetGrowth(int pixels) {
  if (pixels == growth_) return;
  growth_ = pixels;
  PlaceControls();
  const SIZE size = WindowSize();
  SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int TCustomForm::TextHeight(HWND control) const {
  const RECT placed = PlacedRect(control);
  const std::wstring text = TextOf(control);
  MemoryDc dc(CreateCompatibleDC(nullptr));
  if (!dc || text.empty()) return 0;
  SelectIn font(dc.get(), font_.get());
  RECT rc{0, 0, placed.right - placed.left, 0};
  DrawTextW(dc.get(), text.c_str(), int(text.size()), &rc, kMultiLineFormat | DT_CALCRECT);
  return rc.bottom - rc.top;
}

const TCustomForm::Placed* TCustomForm::PlacedOf(HWND control) const {
  for (const Placed& p : placed_) {
    if (p.hwnd == control) return &p;
  }
  return nullptr;
}

COLORREF TCustomForm::BackgroundOf(HWND control) const {
  const Placed* p = PlacedOf(control);
  if (!p) return GetSysColor(COLOR_BTNFACE);
  // Under the themed look only the banners fill their own colour.
  if (p->row.color == kParentColor || (themed_ && !(p->row.look & kFillsWhenThemed))) {
    return p->parent ? BackgroundOf(p->parent) : GetSysColor(COLOR_BTNFACE);
  }
  return p->row.color;
}

LRESULT TCustomForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE: FormClose(); return 0;
    case WM_DESTROY: TApplication::Instance().Terminate(); return 0;
    case WM_COMMAND:
      // Enter and Esc, as the dialog manager reports them.
      if (LOWORD(wp) == IDOK) {
        EnterPressed();
        return 0;
      }
      if (LOWORD(wp) == IDCANCEL) {
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        SaveFocus();
      } else if (!HIWORD(wp)) {
        RestoreFocus();
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_MINIMIZE) {
        TApplication::Instance().Minimize();
        return 0;
      }
      break;
    case WM_ENABLE:
      if (wp) PostMessageW(hwnd_, WM_APP_REACTIVATE, 0, 0);
      return 0;
    case WM_APP_REACTIVATE: ReactivateAfterBox(); return 0;
    case WM_DPICHANGED: {
      // A form that grew measures its texts again at the new size.
      dpi_ = HIWORD(wp);
      growth_ = 0;
      MakeFonts();
      LayOut();
      const RECT* suggested = reinterpret_cast<const RECT*>(lp);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
      InvalidateRect(hwnd_, nullptr, TRUE);
      return 0;
    }
    default: break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

void TCustomForm::SaveFocus() const {
  // Disabling the form for a box may already have taken the focus away, so
  // AskBox saves it too; an empty focus keeps what was saved.
  HWND focus = GetFocus();
  if (focus && (focus == hwnd_ || IsChild(hwnd_, focus))) savedFocus_ = focus;
}

void TCustomForm::RestoreFocus() {
  // The first activation starts on the page's first edit; later ones return
  // to where the focus was, as the dialog manager does, unless that control
  // went with its page.
  const bool usable = activated_ && savedFocus_ && IsChild(hwnd_, savedFocus_) && IsWindowVisible(savedFocus_) &&
                      IsWindowEnabled(savedFocus_);
  activated_ = true;
  SetFocus(usable ? savedFocus_ : FirstFocus());
}

void TCustomForm::ReactivateAfterBox() {
  // A box that ends with nothing of the program active (a task-modal one
  // has no owner to give the activation back to): the form takes it unless
  // the user went elsewhere.
  if (!IsWindowVisible(hwnd_) || !IsWindowEnabled(hwnd_) || GetActiveWindow()) return;
  HWND foreground = GetForegroundWindow();
  DWORD process = 0;
  if (foreground) GetWindowThreadProcessId(foreground, &process);
  if (foreground && process != GetCurrentProcessId() && foreground != GetDesktopWindow()) return;
  SetForegroundWindow(hwnd_);
}

int TCustomForm::AskBox(const std::wstring& text, UINT buttons) const {
  SaveFocus();
  return ShowProgramBox(text, buttons | MB_DEFBUTTON1);
}

void TCustomForm::Click(HWND control) {
  const Placed* p = PlacedOf(control);
  if (!p || !p->onClick || inClick_ || Busy() || !IsWindowEnabled(hwnd_) || !IsWindowVisible(control) ||
      !IsWindowEnabled(control)) {
    return;
  }
  inClick_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{inClick_};
  p->onClick();
}

}  // namespace ferrune
