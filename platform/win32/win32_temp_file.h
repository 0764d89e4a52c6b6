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

// `folder` in its long form, with its trailing separator. Null when no file
// can be made there.
std::unique_ptr<TempFile> CreateWin32Temp(const std::wstring& folder);

// Durable renames in `folder`. False only when the folder's flush reports an
// error; a folder the system will not flush (no right, no support) is passed
// over.
bool FlushFolder(const std::wstring& folder);

}  // namespace ferrune
