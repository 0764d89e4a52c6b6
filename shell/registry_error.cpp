#include "shell/registry_error.h"

namespace ferrune {

std::string SetDataFailedMessage(std::string_view valueName) {
  std::string message = "Failed to set data for '";
  message += valueName;
  message += '\'';
  return message;
}

}  // namespace ferrune
