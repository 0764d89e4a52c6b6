// The parts of a path that the output names and the messages use, and the
// comparison of the ".zrv" extension in any case.
#pragma once

#include <string>
#include <string_view>

namespace ferrune {

// Text from the last '.' to the end, when that '.' comes after the last '\'
// and ':'; otherwise empty. A name ending in '.' has the extension ".".
std::wstring ExtensionOf(std::wstring_view path);

// The last name of a path: what follows its last '\', '/' or ':'.
std::wstring NameOf(std::wstring_view path);

// Equal lengths and equal after folding ASCII a-z to A-Z; nothing else folds.
bool SameTextAscii(std::wstring_view a, std::wstring_view b);

}  // namespace ferrune
