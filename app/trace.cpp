#include "app/trace.h"

#include <windows.h>

#include "core/utf.h"
#include "platform/win32/win_handles.h"

namespace ferrune {

void Trace(const std::wstring& line) {
  wchar_t path[MAX_PATH * 4];
  const DWORD n = GetEnvironmentVariableW(L"FERRUNE_TRACE", path, DWORD(std::size(path)));
  if (n == 0 || n >= std::size(path)) return;
  UniqueHandle file(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string bytes = Utf8FromWide(line) + "\n";
  DWORD written = 0;
  WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

}  // namespace ferrune
