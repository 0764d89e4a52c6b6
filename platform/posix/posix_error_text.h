// The system's own words for an errno value.
#pragma once

#include <string>

namespace ferrune {

// As strerror gives it: "No space left on device".
std::string PosixErrorText(int code);

}  // namespace ferrune
