// Extension of a path and the two text comparisons the dispatch uses.
#pragma once

#include <string>
#include <string_view>

namespace ferrune {

// Text from the last '.' to the end, when that '.' comes after the last '\'
// and ':'; otherwise empty. A name ending in '.' has the extension ".".
std::wstring ExtensionOf(std::wstring_view path);

// Equal lengths and equal after folding ASCII a-z to A-Z; nothing else folds.
bool SameTextAscii(std::wstring_view a, std::wstring_view b);

}  // namespace ferrune
