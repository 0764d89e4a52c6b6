// Messages posted to the main window, numbered from WM_APP; WM_APP + 2 is
// the toolkit form's own (app/toolkit/custom_form.h).
#pragma once

#include <windows.h>

namespace ferrune {

enum : UINT {
  // wParam: progress in thousandths of the file.
  WM_APP_PROGRESS = WM_APP + 1,
};

}  // namespace ferrune
