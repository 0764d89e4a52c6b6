#include "platform/win32/streams_switch.h"

#include <windows.h>

namespace ferrune {

// Read at every use, so that a test may set it within its own process.
bool StreamsSwitchOn() {
  wchar_t value[2] = {};
  return GetEnvironmentVariableW(L"FERRUNE_TEST_STREAMS", value, 2) == 1 && value[0] == L'1';
}

}  // namespace ferrune
