#include "app/toolkit/bitmap_image.h"

#include "app/toolkit/top_down_bitmap.h"
#include "platform/win32/win_handles.h"

namespace ferrune {

BitmapImage BitmapImage::Load(HINSTANCE instance, const wchar_t* name) {
  BitmapImage image;
  GdiObject<HBITMAP> bitmap(static_cast<HBITMAP>(LoadImageW(instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  BITMAP info{};
  if (!bitmap || !GetObjectW(bitmap.get(), sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight <= 0) {
    return image;
  }
  std::vector<std::uint32_t> pixels(size_t(info.bmWidth) * size_t(info.bmHeight));
  BITMAPINFO bi = TopDown32(info.bmWidth, info.bmHeight);
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap.get(), 0, UINT(info.bmHeight), pixels.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != info.bmHeight) return image;
  image.width = info.bmWidth;
  image.height = info.bmHeight;
  image.pixels = std::move(pixels);
  return image;
}

void BitmapImage::Draw(HDC dc, const RECT& rc, COLORREF background) const {
  if (pixels.empty()) return;
  const std::uint32_t transparent = pixels[size_t(height - 1) * size_t(width)] & 0xFFFFFF;
  const std::uint32_t fill =
      std::uint32_t(GetRValue(background)) << 16 | std::uint32_t(GetGValue(background)) << 8 | GetBValue(background);
  std::vector<std::uint32_t> shown(pixels);
  for (std::uint32_t& p : shown) {
    if ((p & 0xFFFFFF) == transparent) p = fill;
  }
  BITMAPINFO bi = TopDown32(width, height);
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, 0, 0, rc.right, rc.bottom, 0, 0, width, height, shown.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace ferrune
