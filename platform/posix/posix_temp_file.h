// The temporary output on POSIX: an unnamed file (O_TMPFILE) in the output's
// folder where the system has it, so that it goes with the process however
// that ends; elsewhere a new file with a name of ours, made with O_EXCL and
// mode 0600 and locked while its job runs, which the next job's sweep removes
// if the process dies. Whole pages go past the system's cache through a
// second descriptor where the file system takes O_DIRECT, and every read does
// then, so that a proof reads what is on the disk.
#pragma once

#include <memory>
#include <string>

#include "core/file_system.h"

namespace ferrune {

// Null when no file can be made in `folder`. `unnamed` false makes a named
// one, as on a system without O_TMPFILE.
std::unique_ptr<TempFile> CreatePosixTemp(const std::string& folder, std::uint32_t permissions, bool unnamed);

// Removes the named temporary files of this process's running jobs. Safe in a
// signal handler, for a program that is about to end at once.
void RemoveNamedTempsNow();

// For names this process has moved its files to: a signal handler removes
// them as it does the temporary files. Slot -1 when none is free.
int RegisterNamed(const std::string& path);
void UnregisterNamed(int slot);

}  // namespace ferrune
