// One UTF-8 sequence each way. Plain C++: the command-line tool uses it on
// every system for password text, the POSIX file system for names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ferrune {

// Length of the valid sequence at data[i] with its value in `out`, or 0 for
// anything that is not UTF-8: overlong forms, surrogates, values past
// U+10FFFF, cut sequences.
inline std::size_t Utf8SequenceAt(const std::uint8_t* data, std::size_t size, std::size_t i, char32_t* out) {
  const std::uint8_t b0 = data[i];
  std::size_t n;
  char32_t c;
  if (b0 < 0x80) {
    *out = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
    c = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    c = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    c = b0 & 0x07u;
  } else {
    return 0;
  }
  if (size - i < n) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((data[i + k] & 0xC0) != 0x80) return 0;
    c = c << 6 | (data[i + k] & 0x3Fu);
  }
  if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *out = c;
  return n;
}

inline void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace ferrune
