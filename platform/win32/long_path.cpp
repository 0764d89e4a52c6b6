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
bool IsDriveAbsolute(std::wstring_view p) { return IsDrive(p) && p.size() >= 3 && IsSeparator(p[2]); }
bool StartsUnc(std::wstring_view p) { return p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1]); }
// "\\.\", or "\\?\" in other slashes: a device, or a path the system still
// rewrites (trailing dots dropped); never a file we should make up a name for.
bool IsDevice(std::wstring_view p) {
  return StartsUnc(p) && p.size() >= 3 && (p[2] == L'.' || p[2] == L'?') && (p.size() == 3 || IsSeparator(p[3]));
}

std::wstring_view NextName(std::wstring_view* rest) {
  std::size_t end = 0;
  while (end < rest->size() && !IsSeparator((*rest)[end])) ++end;
  const std::wstring_view name = rest->substr(0, end);
  rest->remove_prefix(end < rest->size() ? end + 1 : end);
  return name;
}

// A name a share or file can have; a ':' past the drive would open a stream.
bool IsPlainName(std::wstring_view name) {
  return !name.empty() && name != L"." && name != L".." && name.find(L':') == std::wstring_view::npos;
}

// A root ("\\?\C:\" or "\\?\UNC\server\share\") and the names under it.
struct Resolved {
  std::wstring root;
  std::vector<std::wstring> names;
  bool folder = false;  // ends in a separator, as a folder's name may

  // "." and ".." resolved, ".." never above the root.
  bool Add(std::wstring_view rest) {
    folder = !rest.empty() && IsSeparator(rest.back());
    while (!rest.empty()) {
      const std::wstring_view name = NextName(&rest);
      if (name == L"..") {
        if (!names.empty()) names.pop_back();
      } else if (!name.empty() && name != L".") {
        if (!IsPlainName(name)) return false;
        names.emplace_back(name);
      }
    }
    return true;
  }
  std::wstring Text() const {
    std::wstring text = root;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i > 0) text += L'\\';
      text += names[i];
    }
    if (folder && !names.empty()) text += L'\\';
    return text;
  }
};

// "C:\..." or "\\server\share\...": the server and share split off first.
bool ResolveAbsolute(std::wstring_view path, Resolved* out) {
  if (IsDriveAbsolute(path)) {
    out->root = std::wstring(kLong) + path[0] + L":\\";
    return out->Add(path.substr(3));
  }
  if (!StartsUnc(path) || IsDevice(path)) return false;
  path.remove_prefix(2);
  const std::wstring_view server = NextName(&path);
  const std::wstring_view share = NextName(&path);
  if (!IsPlainName(server) || !IsPlainName(share)) return false;
  out->root = std::wstring(kLongUnc) + std::wstring(server) + L'\\' + std::wstring(share) + L'\\';
  return out->Add(path);
}

// The current directory as the system gives it, "\\?\" form included.
bool ResolveCurrent(std::wstring_view current, Resolved* out) {
  if (current.starts_with(kLongUnc)) {
    return ResolveAbsolute(L"\\\\" + std::wstring(current.substr(kLongUnc.size())), out);
  }
  if (current.starts_with(kLong)) current.remove_prefix(kLong.size());
  return ResolveAbsolute(current, out);
}

}  // namespace

std::wstring LongPathFrom(std::wstring_view path, std::wstring_view currentDirectory) {
  // Past a NUL the system would read another, shorter path.
  if (path.empty() || path.find(L'\0') != std::wstring_view::npos) return {};
  if (path.starts_with(kLong)) return std::wstring(path);
  Resolved resolved;
  if (IsDriveAbsolute(path) || StartsUnc(path)) {
    return ResolveAbsolute(path, &resolved) ? resolved.Text() : std::wstring();
  }
  if (!ResolveCurrent(currentDirectory, &resolved)) return {};
  if (IsSeparator(path[0])) {
    // Rooted: on the current directory's drive or share.
    resolved.names.clear();
  } else if (IsDrive(path)) {
    // "C:name" against the current directory of that drive, which the caller
    // gave; the drive's root when it gave another's.
    const bool sameDrive =
        resolved.root.size() == kLong.size() + 3 && (resolved.root[kLong.size()] | 0x20) == (path[0] | 0x20);
    if (!sameDrive) {
      resolved.root = std::wstring(kLong) + path[0] + L":\\";
      resolved.names.clear();
    }
    path.remove_prefix(2);
  }
  return resolved.Add(path) ? resolved.Text() : std::wstring();
}

std::wstring LongPath(const std::wstring& path) {
  std::wstring query = L".";
  if (IsDrive(path) && !IsDriveAbsolute(path)) query = path.substr(0, 2);
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
