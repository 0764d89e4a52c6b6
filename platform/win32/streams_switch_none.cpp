// A build without the test switches (a release): volumes are as they say.
#include "platform/win32/streams_switch.h"

namespace ferrune {

bool StreamsSwitchOn() { return false; }

}  // namespace ferrune
