#include "platform/win32/long_path.h"

#include <windows.h>

#include <vector>

namespace ferrune {
namespace {

constexpr std::wstring_view kLong = L"\\\\?\\";
constexpr std::wstring_view kLongUnc = L"\\\\?\\UNC\\";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsDrive(std::wstring_view p) {
  return p.size() >= 2 && p[1] == L':' && ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z'));
}

// Splits the rest of a path into names, resolving "." and "..": never above
// the root.
void AddNames(std::wstring_view rest, std::vector<std::wstring_view>* names) {
  std::size_t i = 0;
  while (i < rest.size()) {
    std::size_t end = i;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const std::wstring_view name = rest.substr(i, end - i);
    if (name == L"..") {
      if (!names->empty()) names->pop_back();
    } else if (!name.empty() && name != L".") {
      names->push_back(name);
    }
    i = end + 1;
  }
}

// The root ("\\?\C:\" or "\\?\UNC\server\share\") and the names after it.
std::wstring Join(std::wstring root, const std::vector<std::wstring_view>& names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) root += L'\\';
    root += names[i];
  }
  return root;
}

// Root and names of an absolute path: "C:\..." or "\\server\share\...".
bool SplitAbsolute(std::wstring_view path, std::wstring* root, std::vector<std::wstring_view>* names) {
  std::size_t unc = 0;  // where the server's name starts
  if (path.starts_with(kLongUnc)) {
    unc = kLongUnc.size();
  } else if (path.starts_with(kLong)) {
    path.remove_prefix(kLong.size());
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    unc = 2;
  }
  if (unc == 0 && IsDrive(path) && path.size() >= 3 && IsSeparator(path[2])) {
    *root = std::wstring(kLong) + path[0] + L":\\";
    AddNames(path.substr(3), names);
    return true;
  }
  if (unc != 0) {
    std::vector<std::wstring_view> parts;
    AddNames(path.substr(unc), &parts);
    if (parts.size() < 2) return false;
    *root = std::wstring(kLongUnc) + std::wstring(parts[0]) + L'\\' + std::wstring(parts[1]) + L'\\';
    names->assign(parts.begin() + 2, parts.end());
    return true;
  }
  return false;
}

}  // namespace

std::wstring LongPathFrom(std::wstring_view path, std::wstring_view currentDirectory) {
  if (path.starts_with(kLong)) return std::wstring(path);
  std::wstring root;
  std::vector<std::wstring_view> names;
  if (SplitAbsolute(path, &root, &names)) return Join(root, names);
  if (!SplitAbsolute(currentDirectory, &root, &names)) return {};
  if (!path.empty() && IsSeparator(path[0])) {
    // Rooted: on the current directory's drive or share.
    names.clear();
  } else if (IsDrive(path)) {
    // "C:name" against the current directory of that drive, which the caller gave.
    path.remove_prefix(2);
  }
  AddNames(path, &names);
  return Join(root, names);
}

std::wstring LongPath(const std::wstring& path) {
  std::wstring query = L".";
  if (IsDrive(path) && (path.size() == 2 || !IsSeparator(path[2]))) query = path.substr(0, 2);
  // The drive's own current directory for "C:name"; the process's otherwise.
  const DWORD needed = GetFullPathNameW(query.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring current(needed, L'\0');
  const DWORD got = GetFullPathNameW(query.c_str(), needed, current.data(), nullptr);
  if (got == 0 || got >= needed) return {};
  current.resize(got);
  return LongPathFrom(path, current);
}

}  // namespace ferrune
