// Owners of kernel handles (files, threads, events). A failed CreateFileW
// gives INVALID_HANDLE_VALUE, the other calls null: both mean none.
#pragma once

#include <windows.h>

#include "unique_any.h"

namespace ferrune {

using UniqueHandle = UniqueAny<HANDLE, CallClose<&CloseHandle>, -1>;

}  // namespace ferrune
