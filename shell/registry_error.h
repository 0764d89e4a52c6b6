// The error a refused registry write raises; what() is UTF-8 for the error box.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace ferrune {

class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "Failed to set data for '<name>'"; the default value's name is empty.
std::string SetDataFailedMessage(std::string_view valueName);

}  // namespace ferrune
