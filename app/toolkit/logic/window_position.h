// Where the window first shows: centred on the primary monitor, then moved as
// little as needed to lie inside the work area, so a taskbar never covers it.
#pragma once

namespace ferrune {

struct ScreenRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct ScreenPoint {
  int x = 0, y = 0;
};

// The window's top-left corner for a frame of `width` x `height`. A frame
// larger than the work area keeps its top-left edge inside it: the title bar
// stays reachable.
ScreenPoint InitialWindowPosition(int width, int height, const ScreenRect& monitor, const ScreenRect& work);

}  // namespace ferrune
