// The error box's full-stop rule; no window code.
#pragma once

#include <string>

namespace ferrune {

// The error box appends a full stop when the last character's code lies above
// that of '.'; an apostrophe, for instance, gets none.
std::wstring WithFullStop(std::wstring message);

}  // namespace ferrune
