#include "app/fault_injection.h"

#include <windows.h>

#include <cwchar>

#include "app/toolkit/thread.h"
#include "platform/win32/win32_registry.h"
#include "shell/registry_api.h"

namespace ferrune {

bool FaultRequested(const wchar_t* name) {
  wchar_t value[128];
  const DWORD n = GetEnvironmentVariableW(L"FERRUNE_FAULT", value, DWORD(std::size(value)));
  if (n == 0 || n >= std::size(value)) return false;
  return std::wcsstr(value, name) != nullptr;
}

namespace {

class DeniedRegistry : public RegistryApi {
 public:
  explicit DeniedRegistry(RegistryApi& real) : real_(real) {}
  RegHandle Root(RootKey which) override { return real_.Root(which); }
  RegStatus OpenKey(RegHandle, const std::wstring&, std::uint32_t, RegHandle*) override { return kDenied; }
  RegStatus CreateKey(RegHandle, const std::wstring&, std::uint32_t, RegHandle*) override { return kDenied; }
  RegStatus SetDefaultString(RegHandle, const std::wstring&) override { return kDenied; }
  RegStatus QuerySubKeys(RegHandle, std::uint32_t*, std::uint32_t*) override { return kDenied; }
  RegStatus CountValues(RegHandle, std::uint32_t*) override { return kDenied; }
  RegStatus EnumSubKey(RegHandle, std::uint32_t, std::uint32_t, std::wstring*) override { return kDenied; }
  RegStatus DeleteKey(RegHandle, const std::wstring&) override { return kDenied; }
  RegStatus CloseKey(RegHandle) override { return kDenied; }

 private:
  static constexpr RegStatus kDenied = ERROR_ACCESS_DENIED;
  RegistryApi& real_;
};

}  // namespace

RegistryApi& ShellRegistry() {
  static DeniedRegistry denied(PlatformRegistry());
  return FaultRequested(L"registry") ? static_cast<RegistryApi&>(denied) : PlatformRegistry();
}

void ApplyFaultInjection() {
  if (FaultRequested(L"thread")) {
    TThread::SetCreateThreadForTesting([](LPTHREAD_START_ROUTINE, void*, DWORD*) -> HANDLE {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    });
  }
  if (FaultRequested(L"syncevent")) {
    // A worker's first synchronous call (the repaint) gets its event; its
    // last one, the completion after the work, does not.
    TThread::SetCreateSyncEventForTesting([]() -> HANDLE {
      thread_local int calls = 0;
      if (++calls == 1) return CreateEventW(nullptr, TRUE, FALSE, nullptr);
      SetLastError(ERROR_NO_SYSTEM_RESOURCES);
      return nullptr;
    });
  }
}

}  // namespace ferrune
