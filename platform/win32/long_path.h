// Paths in their "\\?\" form, which the system takes exactly as given: no
// trailing dot or space is dropped, so "dot." never opens "dot", and the
// length is not held to MAX_PATH.
#pragma once

#include <string>
#include <string_view>

namespace ferrune {

// `path` made absolute against `currentDirectory` (itself absolute, as the
// system gives it), as GetFullPathNameW would make it but with every name
// kept as it is: "." and ".." resolved, ".." never above "C:\" or
// "\\server\share\". A path already in "\\?\" form is returned as it is.
// Empty, which opens nothing, for a path that would name something other
// than a file by that name: a device ("\\.\"), a server without a share,
// a stream ("name:stream"), or a path cut short by a NUL.
std::wstring LongPathFrom(std::wstring_view path, std::wstring_view currentDirectory);

// The same against this process's current directory (or, for "C:name", the
// current directory of that drive). Empty when that cannot be had.
std::wstring LongPath(const std::wstring& path);

}  // namespace ferrune
