// Stands in for the browser: appends the command line it was started with
// to the file that FERRUNE_URL_LOG names.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[1024];
  const DWORD n = GetEnvironmentVariableW(L"FERRUNE_URL_LOG", path, 1024);
  if (n == 0 || n >= 1024) return 1;
  HANDLE file =
      CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const wchar_t* line = GetCommandLineW();
  char utf8[4096];
  const int len = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof(utf8) - 2, nullptr, nullptr);
  if (len > 0) {
    utf8[len - 1] = '\n';
    DWORD written = 0;
    WriteFile(file, utf8, DWORD(len), &written, nullptr);
  }
  CloseHandle(file);
  return 0;
}
