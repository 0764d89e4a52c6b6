// The main window's design as data: one row per control.
#pragma once

#include <windows.h>

#include <span>

namespace ferrune {

class TMainForm;

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
};

inline constexpr COLORREF kParentColor = 0xFF000000;  // takes its parent's colour
inline constexpr COLORREF kWindowTextColor = 0xFE000000;

struct ControlSpec {
  HWND TMainForm::*field;
  const wchar_t* name;
  ControlKind kind;
  HWND TMainForm::*parent;  // nullptr: the form itself
  int left, top, width, height;
  const wchar_t* text;
  COLORREF textColor;
  COLORREF color;
  unsigned look;
  void (TMainForm::*onClick)();
  int id;
};

// Rows in creation order: every parent comes before its children.
std::span<const ControlSpec> MainFormDesign();

inline constexpr int kClientWidth = 200;
inline constexpr int kClientHeight = 149;

}  // namespace ferrune
