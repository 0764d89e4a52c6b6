#include "fault_injection.h"

#include <windows.h>

#include <cwchar>

#include "thread.h"

namespace ferrune {

bool FaultRequested(const wchar_t* name) {
  wchar_t value[128];
  const DWORD n = GetEnvironmentVariableW(L"FERRUNE_FAULT", value, DWORD(std::size(value)));
  if (n == 0 || n >= std::size(value)) return false;
  return std::wcsstr(value, name) != nullptr;
}

void ApplyFaultInjection() {
  if (FaultRequested(L"thread")) {
    TThread::SetCreateThreadForTesting([](LPTHREAD_START_ROUTINE, void*, DWORD*) -> HANDLE {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    });
  }
}

}  // namespace ferrune
