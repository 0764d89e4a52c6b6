// Positional transfers and identities over Win32 handles, for the parts of
// the Win32 file system. A failure carries GetLastError() as the system gave it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/file_system.h"
#include "core/secret_bytes.h"

namespace ferrune {

OVERLAPPED At(std::uint64_t offset);

// GetLastError() as it stands, for `op`.
inline FileError LastError(FileOp op) { return FileError::Win32(GetLastError(), op); }

// FILETIME's hundreds of nanoseconds since 1601, as whole seconds and the rest.
FileTime TimeOf(LONGLONG filetime);
LONGLONG FileTimeOf(const FileTime& time);

// Exactly `length` bytes at `offset`; an end of file before them is a
// failure (Shrank). Positional, so two threads may share the handle.
FileError ReadAtOffset(HANDLE file, std::uint64_t offset, std::uint8_t* buffer, std::size_t length);
FileError WriteAtOffset(HANDLE file, std::uint64_t offset, const std::uint8_t* data, std::size_t length);

// A system that honours an unbuffered handle (FILE_FLAG_NO_BUFFERING)
// refuses a read of less than a sector through it, before it looks at the
// file's end.
bool HonoursUnbuffered(HANDLE unbuffered);

// [offset, offset + length) through an unbuffered handle: whole sectors
// into `bounce`, then the part asked for.
FileError ReadUnbuffered(HANDLE unbuffered, std::uint64_t offset, std::uint8_t* buffer, std::size_t length,
                         SecretBytes& bounce);

bool IdentityOf(HANDLE file, FileIdentity* identity);

// What stands under a path (in its long form), without following a link.
bool IdentityAt(const std::wstring& path, FileIdentity* identity);

bool MarkForDelete(HANDLE file, bool marked);

// Renames the file of the handle to `to` (a long path in the same folder);
// without `replace`, a file under `to` fails it with ERROR_ALREADY_EXISTS.
bool RenameThrough(HANDLE file, const std::wstring& to, bool replace);

// The file's attributes; INVALID_FILE_ATTRIBUTES when they cannot be read.
DWORD AttributesOf(HANDLE file);

// Nothing stands under the name (or its folder).
inline bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// True when the handle, opened by `full`, is a file under another name:
// Wine shows a Unix symbolic link as a plain file and opens its target,
// whose own name the handle then reports. A short name is its long one.
// False when that cannot be told.
bool ReachedThroughLink(HANDLE file, const std::wstring& full);

// The folder part of a path, with its trailing separator; empty for a bare name.
std::wstring FolderOf(const std::wstring& path);

}  // namespace ferrune
