// zrv on Windows: CryptoAPI on a verify-only context with a signature pair
// of its own in memory (never the window's key container), Win32 files, the
// console, and the system's code page tables and normalisation.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform.h"

namespace ferrune::cli {

// Set by the first Ctrl+C or Ctrl+Break once the work has begun.
std::atomic<bool>& CancelFlag();

std::unique_ptr<Console> MakeWindowsConsole();
std::unique_ptr<Platform> MakeWindowsPlatform();

}  // namespace ferrune::cli
