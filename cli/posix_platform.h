// zrv on POSIX: OpenSSL's libcrypto, POSIX files, the terminal through
// termios, text through libunistring and the code page tables.
#pragma once

#include <atomic>
#include <memory>

#include "platform.h"

namespace ferrune::cli {

// Set by the first SIGINT, SIGTERM, SIGHUP or SIGQUIT once the work has begun.
std::atomic<bool>& CancelFlag();

std::unique_ptr<Console> MakePosixConsole();
std::unique_ptr<Platform> MakePosixPlatform();

}  // namespace ferrune::cli
