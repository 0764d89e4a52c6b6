// The error the program raises outside the file operations, with a message.
#pragma once

#include <stdexcept>
#include <string>

#include "core/utf.h"

namespace ferrune {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::wstring& message) : std::runtime_error(Utf8FromWide(message)) {}
};

}  // namespace ferrune
