// The system's own words for a failure, in the user's language.
#pragma once

#include <string>

#include "core/file_error.h"

namespace ferrune {

// What FormatMessageW says of a Win32 error ("There is not enough space on
// the disk."), the line break at its end dropped, its period kept as
// Windows' own dialogs show it; for an errno value, what the C library
// says. "Error <code>" where the system has no words for it.
std::wstring SystemErrorText(const FileError& error);

}  // namespace ferrune
