// Owners for GDI objects, icons and DCs; kernel handles have theirs in
// win_handle.h.
#pragma once

#include <windows.h>

#include "unique_any.h"
#include "win_handle.h"

namespace ferrune {

template <typename T>
using GdiObject = UniqueAny<T, CallClose<&DeleteObject>>;
using UniqueIcon = UniqueAny<HICON, CallClose<&DestroyIcon>>;

// Selects an object into a DC for one scope.
class SelectIn {
 public:
  SelectIn(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
  ~SelectIn() { SelectObject(dc_, old_); }
  SelectIn(const SelectIn&) = delete;
  SelectIn& operator=(const SelectIn&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

using MemoryDc = UniqueAny<HDC, CallClose<&DeleteDC>>;

}  // namespace ferrune
