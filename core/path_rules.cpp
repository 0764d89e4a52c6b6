#include "core/path_rules.h"

namespace ferrune {

std::wstring ExtensionOf(std::wstring_view path) {
  const std::size_t at = path.find_last_of(L".\\:");
  if (at == std::wstring_view::npos || path[at] != L'.') return {};
  return std::wstring(path.substr(at));
}

std::wstring NameOf(std::wstring_view path) {
  const std::size_t cut = path.find_last_of(L"\\/:");
  return std::wstring(cut == std::wstring_view::npos ? path : path.substr(cut + 1));
}

bool SameTextAscii(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

}  // namespace ferrune
