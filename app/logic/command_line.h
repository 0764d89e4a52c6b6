// Splitting of a raw command line into arguments. No window code: this builds
// natively and is tested there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ferrune {

// Takes one argument from `pos` on and advances `pos` past it. Separators are
// the characters 1 to 32; quotes group and are dropped; there is no escape
// character. An empty result means the text is used up.
std::wstring TakeArgument(std::wstring_view text, std::size_t& pos);

// Arguments after the program's own name, up to the first empty one.
int ArgumentCount(std::wstring_view commandLine);

// The n-th argument after the program's own name (n >= 1), or empty text.
std::wstring ArgumentAt(std::wstring_view commandLine, int n);

}  // namespace ferrune
