#include "error_text.h"

namespace ferrune {

std::wstring WithFullStop(std::wstring message) {
  if (!message.empty() && message.back() > L'.') message += L'.';
  return message;
}

// Hand-rolled so that it builds natively and for Windows alike.
std::wstring WideFromUtf8(const std::string& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    unsigned cp = 0xFFFD;
    std::size_t n = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 6 && i + 1 < text.size()) {
      cp = (c & 0x1Fu) << 6 | (text[i + 1] & 0x3Fu);
      n = 2;
    } else if ((c >> 4) == 14 && i + 2 < text.size()) {
      cp = (c & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu);
      n = 3;
    } else if ((c >> 3) == 30 && i + 3 < text.size()) {
      cp = (c & 0x07u) << 18 | (text[i + 1] & 0x3Fu) << 12 | (text[i + 2] & 0x3Fu) << 6 | (text[i + 3] & 0x3Fu);
      n = 4;
    }
    i += n;
    if (cp >= 0x10000 && sizeof(wchar_t) == 2) {
      cp -= 0x10000;
      out += wchar_t(0xD800 + (cp >> 10));
      out += wchar_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += wchar_t(cp);
    }
  }
  return out;
}

std::string Utf8FromWide(const std::wstring& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned cp = unsigned(text[i]);
    if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
      const unsigned lo = unsigned(text[i + 1]);
      if (lo >= 0xDC00 && lo < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      }
    }
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | cp >> 6);
      out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += char(0xE0 | cp >> 12);
      out += char(0x80 | (cp >> 6 & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xF0 | cp >> 18);
      out += char(0x80 | (cp >> 12 & 0x3F));
      out += char(0x80 | (cp >> 6 & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace ferrune
