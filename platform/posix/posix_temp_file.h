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

// A new file in `folder`, or why none can be made there. `unnamed` false makes a named
// one, as on a system without O_TMPFILE.
Opened<TempFile> CreatePosixTemp(const std::string& folder, bool unnamed);

// What this process's running jobs have under names of ours: files of its
// own to remove and files set aside to put back. Safe in a signal handler,
// for a program that is about to end at once.
void ClearNamedNow();

// A name of ours that holds a file this process made, or a checked input on
// its way out: a signal handler removes it. Slot -1 when none is free.
int RegisterNamed(const std::string& path);
// A file set aside under `path`: a signal handler moves it back to `back`
// where nothing stands there (a later sweep does the rest).
int RegisterSetAside(const std::string& path, const std::string& back);
void UnregisterNamed(int slot);

}  // namespace ferrune
