// zrv on POSIX.
#include <signal.h>

#include "native_path.h"
#include "platform.h"
#include "zrv.h"

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
