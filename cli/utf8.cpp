#include "utf8.h"

namespace ferrune::cli {

std::optional<std::u32string> DecodeUtf8(const std::uint8_t* data, std::size_t size) {
  std::u32string out;
  out.reserve(size);
  for (std::size_t i = 0; i < size;) {
    char32_t c = 0;
    const std::size_t n = Utf8SequenceAt(data, size, i, &c);
    if (n == 0) return std::nullopt;
    out += c;
    i += n;
  }
  return out;
}

}  // namespace ferrune::cli
