// zrv.exe: the same tool on Windows, a console program.
#include "cli/platform.h"
#include "cli/zrv.h"

int wmain(int argc, wchar_t** argv) {
  using namespace ferrune::cli;
  std::vector<std::wstring> args(argv + 1, argv + argc);
  auto console = MakeConsole();
  auto platform = MakePlatform();
  return RunZrv(args, *console, *platform, &CancelFlag());
}
