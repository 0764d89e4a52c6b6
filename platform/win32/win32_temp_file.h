// The temporary output on Windows: a new file with a name of ours beside
// the final one, that nobody else may open, marked for deletion from its
// creation until the commit renames it through its own handle, so that it
// goes with the process however that ends. A second, unbuffered handle
// reads it back past the system's cache where the system allows that.
#pragma once

#include <memory>
#include <string>

#include "core/file_system.h"

namespace ferrune {

// `folder` in its long form, with its trailing separator; or why no file
// can be made there.
Opened<TempFile> CreateWin32Temp(const std::wstring& folder);

// Durable renames and deletes in `folder`. False when the folder's flush,
// or its open for it, reports an error; a folder that may not be opened so
// (access denied), or that the system cannot flush, is passed over.
bool FlushFolder(const std::wstring& folder);

}  // namespace ferrune
