// The zrv tool: encrypt, decrypt or check files on the container core.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "cli/platform.h"
#include "core/outcome.h"

namespace ferrune::cli {

// The exit status of a refused command line or password; the outcomes' own
// are in their rows of core/outcome.cpp.
inline constexpr int kExitUsage = 2;

int ExitCodeOf(Outcome outcome);

// `args` without the program name. `cancel` is set from outside (a signal,
// Ctrl+C) and stops the file at hand and the ones after it.
int RunZrv(const std::vector<std::wstring>& args, Console& console, Platform& platform,
           const std::atomic<bool>* cancel);

std::string HelpText();

}  // namespace ferrune::cli
