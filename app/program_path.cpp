#include "app/program_path.h"

#include <windows.h>

namespace ferrune {

std::wstring ProgramPath() {
  std::wstring path(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);  // truncated: try a larger buffer
  }
}

}  // namespace ferrune
