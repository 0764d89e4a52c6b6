#include "platform/posix/native_path.h"

#include <cstdint>

#include "core/utf.h"

namespace ferrune {
namespace {

constexpr char32_t kEscapeBase = 0xDC00;

}  // namespace

std::wstring FromNativePath(std::string_view bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  std::wstring out;
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t c = 0;
    const std::size_t n = Utf8SequenceAt(data, bytes.size(), i, &c);
    if (n == 0) {
      out += static_cast<wchar_t>(kEscapeBase + data[i]);
      ++i;
    } else {
      out += static_cast<wchar_t>(c);
      i += n;
    }
  }
  return out;
}

std::string ToNativePath(std::wstring_view path) {
  std::string out;
  for (const wchar_t w : path) {
    const auto c = static_cast<char32_t>(w);
    if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
      out += static_cast<char>(c - kEscapeBase);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

}  // namespace ferrune
