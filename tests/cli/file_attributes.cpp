// Sets a file's attributes (a second argument, in hexadecimal) and prints
// them in hexadecimal, as Windows programs see them; with "hold", keeps the
// file open without sharing until its standard input ends.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  const bool hold = argc > 2 && std::wcscmp(argv[2], L"hold") == 0;
  if (argc < 2 || (argc > 2 && !hold && !SetFileAttributesW(argv[1], std::wcstoul(argv[2], nullptr, 16)))) return 1;
  HANDLE held = hold ? CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) : nullptr;
  const DWORD attributes = GetFileAttributesW(argv[1]);
  std::printf(hold ? "%lx\n" : "%lx", attributes);
  std::fflush(stdout);
  while (held != INVALID_HANDLE_VALUE && held && std::getchar() != EOF) {
  }
  return attributes == INVALID_FILE_ATTRIBUTES || held == INVALID_HANDLE_VALUE ? 1 : 0;
}
