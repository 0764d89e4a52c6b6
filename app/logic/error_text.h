// Texts shared by the error box and the rest of the program; no window code.
#pragma once

#include <string>

namespace ferrune {

// The error box appends a full stop when the last character's code lies above
// that of '.'; an apostrophe, for instance, gets none.
std::wstring WithFullStop(std::wstring message);

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace ferrune
