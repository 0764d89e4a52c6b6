// What an output takes from its input on Windows: the creation and write
// times, the read-only and hidden attributes, and the mark of the web (the
// Zone.Identifier stream) where the volume keeps named streams.
#pragma once

#include <windows.h>

#include <string>

#include "core/file_system.h"

namespace ferrune {

// The attributes an output takes; the rest of its attributes are a new file's.
inline constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

// The metadata of the open file `full` (its long path). False when it has
// a mark that cannot be read (or one too large to be a mark): an output
// without it would open without the warning its input carried.
bool ReadMetadata(HANDLE file, const std::wstring& full, FileMetadata* metadata);

// The volume of the file keeps named streams.
bool KeepsStreams(HANDLE file);

// Writes `mark` as the Zone.Identifier stream of the file `full`.
bool WriteZoneMark(const std::wstring& full, const std::string& mark);

// The creation and write times of `from` (last access untouched); false
// only for a failure other than a value the file system cannot keep.
bool StampTimes(HANDLE file, const FileMetadata& from);

// Sets the carried attributes to those of `attributes` (0 clears them),
// archive set.
bool StampAttributes(HANDLE file, DWORD attributes);

}  // namespace ferrune
