// A build without the test switches (a release): FERRUNE_FAULT is not read
// and nothing is broken on purpose.
#include "app/fault_injection.h"

#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"
#include "shell/registry_api.h"

namespace ferrune {

bool FaultRequested(const wchar_t*) { return false; }

RegistryApi& ShellRegistry() { return PlatformRegistry(); }

void ApplyFaultInjection() {}

std::unique_ptr<FileSystem> JobFileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace ferrune
