#include "platform/posix/posix_error_text.h"

#include <string.h>

#include <type_traits>

namespace ferrune {

std::string PosixErrorText(int code) {
  char buffer[256] = {};
  // The GNU form gives a pointer, to its own text or to the buffer; the XSI
  // form fills the buffer.
  const auto text = ::strerror_r(code, buffer, sizeof buffer);
  if constexpr (std::is_same_v<decltype(text), const int>) {
    return text == 0 ? buffer : "Unknown error " + std::to_string(code);
  } else {
    return text ? text : buffer;
  }
}

}  // namespace ferrune
