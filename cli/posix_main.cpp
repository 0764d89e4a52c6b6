// zrv on POSIX.
#include <signal.h>

#include "cli/platform.h"
#include "cli/zrv.h"
#include "platform/posix/native_path.h"

int main(int argc, char** argv) {
  using namespace ferrune::cli;
  // A closed standard error must not end the program half-way through a file.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(ferrune::FromNativePath(argv[i]));
  auto console = MakeConsole();
  auto platform = MakePlatform();
  return RunZrv(args, *console, *platform, &CancelFlag());
}
