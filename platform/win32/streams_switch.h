// A switch of the test builds: FERRUNE_TEST_STREAMS=1 treats every volume as
// one that keeps named streams, which Wine's never do. Only the test trees
// build streams_switch.cpp (FERRUNE_TEST_SWITCHES); a release has
// streams_switch_none.cpp, which reads nothing.
#pragma once

namespace ferrune {

bool StreamsSwitchOn();

}  // namespace ferrune
