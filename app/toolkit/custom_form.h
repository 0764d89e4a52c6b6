// The toolkit's form: a window whose controls come from a design. It makes
// the fonts, lays the controls out at the screen's resolution, gives each its
// background colour, keeps the focus around the program's boxes and holds the
// one gate that every click and Enter pass. A form derives from TForm
// (app/toolkit/form.h), which hands this its table.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/toolkit/base_window.h"
#include "app/toolkit/bitmap_image.h"
#include "app/toolkit/design.h"
#include "platform/win32/win_handles.h"

namespace ferrune {

class TControl;

// Posted by a form to itself when it is enabled again after a box.
inline constexpr UINT WM_APP_REACTIVATE = WM_APP + 2;

class TCustomForm : public BaseWindow<TCustomForm> {
 public:
  virtual ~TCustomForm();

  // Creates the window (hidden) and its controls, and runs FormCreate inside.
  void Create();
  // Runs FormShow, then shows the window.
  void Show();

  virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  // Runs a control's click handler; Enter runs that of its page's button.
  // One job per window: a control of a hidden page, a click while a box of
  // the program shows (its loop dispatches what was queued before it) or
  // while the form is busy does nothing.
  void Click(HWND control);

  // Look shared by the controls.
  bool Themed() const { return themed_; }
  int Dpi() const { return dpi_; }
  HFONT Font(bool underline) const { return underline ? underlineFont_.get() : font_.get(); }
  int Scale(int designPixels) const { return MulDiv(designPixels, dpi_, 96); }
  // The height that the text of a multi-line panel without edges takes at
  // the width of its row.
  int TextHeight(HWND control) const;
  // Makes the client area `pixels` taller than the design, for texts that
  // do not fit it (0: as designed); the window keeps its top left corner.
  // A change of resolution puts it back to 0.
  void SetGrowth(int pixels);
  int Growth() const { return growth_; }
  // Where the control's row puts it in its parent now, growth included.
  RECT PlacedRect(HWND control) const;
  const BitmapImage& Image() const { return image_; }
  COLORREF BackgroundOf(HWND control) const;

 protected:
  explicit TCustomForm(const FormFrame& frame);

  // The form's own steps. FormCreate's errors are shown, and the window is
  // created and shown all the same.
  virtual void FormCreate() {}
  virtual void FormShow() {}
  virtual void FormClose();
  // Enter, as the dialog manager reports it.
  virtual void EnterPressed() {}
  // Where the focus goes at the first activation, or when the control that
  // had it is gone: the form itself unless told, so that Esc still reaches it.
  virtual HWND FirstFocus() const { return hwnd_; }
  // While true, clicks and Enter do nothing.
  virtual bool Busy() const { return false; }

  // Makes the controls of the table, parents first, through AddControl.
  virtual void BuildControls() = 0;
  // Makes one control; `onClick` is empty for one that takes no clicks.
  HWND AddControl(HWND parent, const ControlRow& row, std::function<void()> onClick);

  // A box of the program, the focus saved for when the form is active again.
  int AskBox(const std::wstring& text, UINT buttons) const;

 private:
  struct Placed {
    HWND hwnd;
    HWND parent;  // null: the form itself
    ControlRow row;
    std::function<void()> onClick;
  };

  void MakeFonts();
  void LayOut();
  void PlaceControls();
  SIZE WindowSize() const;
  const Placed* PlacedOf(HWND control) const;
  void SaveFocus() const;
  void RestoreFocus();
  void ReactivateAfterBox();

  const FormFrame frame_;
  std::vector<std::unique_ptr<TControl>> controls_;
  std::vector<Placed> placed_;  // in the table's order
  GdiObject<HFONT> font_, underlineFont_;
  BitmapImage image_;
  int dpi_ = 96;
  int growth_ = 0;
  bool themed_ = false;
  bool inClick_ = false;               // a handler runs, and perhaps waits for an answer
  bool activated_ = false;             // once, before the first activation's focus
  mutable HWND savedFocus_ = nullptr;  // kept by the boxes of const handlers too
};

}  // namespace ferrune
