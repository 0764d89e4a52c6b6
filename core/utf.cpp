#include "core/utf.h"

namespace ferrune {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

}  // namespace

std::size_t Utf8SequenceAt(const std::uint8_t* data, std::size_t size, std::size_t i, char32_t* out) {
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
  if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) || IsSurrogate(c)) return 0;
  *out = c;
  return n;
}

void AppendUtf8(std::string& out, char32_t c) {
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

bool CodePointsToWide(const std::u32string& text, std::wstring* out) {
  out->clear();
  for (const char32_t c : text) {
    if (IsSurrogate(c) || c > 0x10FFFF) return false;
    if (c < 0x10000 || !kWideIsUtf16) {
      *out += static_cast<wchar_t>(c);
    } else {
      *out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      *out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return true;
}

bool WideToCodePoints(const wchar_t* text, std::size_t size, bool strict, std::u32string* out) {
  out->clear();
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<char32_t>(kWideIsUtf16 ? static_cast<char16_t>(text[i]) : text[i]);
    const auto next = i + 1 < size ? static_cast<char32_t>(text[i + 1]) : 0;
    if (kWideIsUtf16 && c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      *out += 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    } else if (IsSurrogate(c) || c > 0x10FFFF) {
      if (strict) return false;
      *out += kReplacement;
    } else {
      *out += c;
    }
  }
  return true;
}

std::wstring WideFromUtf8(const std::string& text) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  std::u32string points;
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = kReplacement;
    const std::size_t n = Utf8SequenceAt(data, text.size(), i, &c);
    points += n ? c : kReplacement;
    i += n ? n : 1;
  }
  std::wstring out;
  CodePointsToWide(points, &out);
  return out;
}

std::string Utf8FromWide(const std::wstring& text) {
  std::u32string points;
  WideToCodePoints(text.data(), text.size(), false, &points);
  std::string out;
  for (const char32_t c : points) AppendUtf8(out, c);
  return out;
}

}  // namespace ferrune
