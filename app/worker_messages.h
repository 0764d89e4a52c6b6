// Messages posted to the main window, numbered from WM_APP.
#pragma once

#include <windows.h>

namespace ferrune {

enum : UINT {
  // wParam: progress in thousandths of the file.
  WM_APP_PROGRESS = WM_APP + 1,
  // Posted by the window to itself when it is enabled again after a box.
  WM_APP_REACTIVATE = WM_APP + 2,
};

}  // namespace ferrune
