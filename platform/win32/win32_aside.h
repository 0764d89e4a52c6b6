// A file that a commit replaces, and the files set aside under our names
// (core/temp_name.h): taken with the right to move and delete it, named,
// and put back.
#pragma once

#include <windows.h>

#include <string>

#include "core/file_system.h"
#include "core/temp_name.h"
#include "platform/win32/win_handles.h"

namespace ferrune {

// The job's hold on the file it may replace: a handle from OpenToSetAside.
using Win32Hold = OpaqueOwner<HoldTag, UniqueHandle>;

// The handle of a hold that the Win32 file system made; null otherwise.
UniqueHandle* HandleOf(FileHold* hold);

// The file under `full` (a link as the link), with the right to move and
// delete it, shared with readers only: a program that writes to it, or that
// shares no delete, refuses this open.
UniqueHandle OpenToSetAside(const std::wstring& full);

// Where a file `full` of `identity` is set aside: beside it, under a name
// that fits the folder, with its whole name for the put-back.
struct Win32Aside {
  std::wstring path;
  OurName name;
};
Win32Aside AsideOf(AsideKind kind, const FileIdentity& identity, const std::wstring& full);

// Moves the set-aside file of the handle, under `asidePath`, back to its
// name, or to a kept name beside it, as core/temp_name.h's PutBack says.
PutBackResult PutBackThrough(HANDLE file, const std::wstring& asidePath, const OurName& aside);

}  // namespace ferrune
