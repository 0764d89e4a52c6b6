// The running program's own full path (argument 0), at any length.
#pragma once

#include <string>

namespace ferrune {

std::wstring ProgramPath();

}  // namespace ferrune
