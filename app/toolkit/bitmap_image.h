// A bitmap resource read once as 32-bit pixels, drawn with one colour see-through.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace ferrune {

struct BitmapImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // top row first, 0x00RRGGBB

  static BitmapImage Load(HINSTANCE instance, const wchar_t* name);
  // Draws it stretched over `rc`; pixels of the bottom-left pixel's colour
  // take `background` instead.
  void Draw(HDC dc, const RECT& rc, COLORREF background) const;
};

}  // namespace ferrune
