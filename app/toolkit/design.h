// A form's design as data: its frame, and one row per control, in pixels at
// 96 DPI. The rows name the form's fields and handlers, so they are typed by
// the form.
#pragma once

#include <windows.h>

namespace ferrune {

enum class ControlKind { Notebook, Page, Panel, GroupBox, PasswordEdit, LinkButton, Image, ProgressBar };

enum Look : unsigned {
  kNoLook = 0,
  kRaisedOuter = 1u << 0,
  kLoweredOuter = 1u << 1,
  kRaisedInner = 1u << 2,
  kFillsWhenThemed = 1u << 3,  // keeps its own colour under the themed look
  kUnderline = 1u << 4,
  kHandCursor = 1u << 5,
  kMultiLine = 1u << 6,
  kHidden = 1u << 7,
  kTabStop = 1u << 8,
  // Where the form grows below its design (TCustomForm::SetGrowth): its
  // bottom goes down with the form's, or the whole control does.
  kStretchesDown = 1u << 9,
  kFollowsBottom = 1u << 10,
};

inline constexpr COLORREF kParentColor = 0xFF000000;  // takes its parent's colour
inline constexpr COLORREF kWindowTextColor = 0xFE000000;

// One control as the toolkit makes, lays out and draws it.
struct ControlRow {
  const wchar_t* name;
  ControlKind kind;
  int left, top, width, height;
  const wchar_t* text;
  COLORREF textColor;
  COLORREF color;
  unsigned look;
  int id;
  bool clickable;
};

// A row of a form's table: the control, the field that holds it, its parent's
// field and its click handler.
template <typename Form>
struct ControlSpec {
  HWND Form::*field;
  const wchar_t* name;
  ControlKind kind;
  HWND Form::*parent;  // nullptr: the form itself
  int left, top, width, height;
  const wchar_t* text;
  COLORREF textColor;
  COLORREF color;
  unsigned look;
  void (Form::*onClick)();
  int id;

  ControlRow Row() const {
    return {name, kind, left, top, width, height, text, textColor, color, look, id, onClick != nullptr};
  }
};

// The font of all the form's texts; the underlined one is made beside it.
struct FontDesign {
  const wchar_t* face;
  int points;
  BYTE charset;
};

// The form's own window.
struct FormFrame {
  const wchar_t* className;
  const wchar_t* caption;
  DWORD style;
  DWORD exStyle;
  int clientWidth, clientHeight;
  FontDesign font;
  const wchar_t* image;  // the bitmap resource that the Image controls show
};

}  // namespace ferrune
