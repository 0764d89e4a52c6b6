// Owners of Win32 handles. Kernel handles (files, threads, events): a failed
// CreateFileW gives INVALID_HANDLE_VALUE, the other calls null, and both mean
// none. GDI objects, icons and DCs are none when null.
#pragma once

#include <windows.h>

#include "core/unique_any.h"

namespace ferrune {

using UniqueHandle = UniqueAny<HANDLE, CallClose<&CloseHandle>, NoneIs<HANDLE, 0, -1>>;
// FindFirstFileW fails with INVALID_HANDLE_VALUE only.
using FindHandle = UniqueAny<HANDLE, CallClose<&FindClose>, NoneIs<HANDLE, -1>>;

template <typename T>
using GdiObject = UniqueAny<T, CallClose<&DeleteObject>>;
using UniqueIcon = UniqueAny<HICON, CallClose<&DestroyIcon>>;
using MemoryDc = UniqueAny<HDC, CallClose<&DeleteDC>>;

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

}  // namespace ferrune
