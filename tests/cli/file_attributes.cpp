// Sets a file's attributes (a second argument, in hexadecimal) and prints
// them in hexadecimal, as Windows programs see them.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || (argc > 2 && !SetFileAttributesW(argv[1], std::wcstoul(argv[2], nullptr, 16)))) return 1;
  const DWORD attributes = GetFileAttributesW(argv[1]);
  std::printf("%lx", attributes);
  return attributes == INVALID_FILE_ATTRIBUTES ? 1 : 0;
}
