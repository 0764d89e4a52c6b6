// Faults the end-to-end tests can ask for through FERRUNE_FAULT, for paths a
// healthy machine never takes (a thread that cannot be created, no provider,
// a registry that refuses, a worker's completion without an event to wait on,
// a folder whose flush fails after a delete).
// Only the test trees build them (FERRUNE_TEST_SWITCHES); a release has
// fault_injection_none.cpp, which reads nothing.
#pragma once

#include <memory>

namespace ferrune {

class FileSystem;
class RegistryApi;

void ApplyFaultInjection();
bool FaultRequested(const wchar_t* name);

// The registry the shell integration uses: the platform's, or with
// FERRUNE_FAULT=registry one that refuses every open, create and write, as
// the class root does for a user without the right to write it.
RegistryApi& ShellRegistry();

// The file system of a job: the platform's, or with FERRUNE_FAULT=deleteflush
// one whose flush of the folder after the input's delete fails.
std::unique_ptr<FileSystem> JobFileSystem();

}  // namespace ferrune
