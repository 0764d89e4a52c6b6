// A line log for tests: when FERRUNE_TRACE names a file, events are appended
// to it as UTF-8 lines. Nothing is written otherwise.
#pragma once

#include <string>

namespace ferrune {

void Trace(const std::wstring& line);

}  // namespace ferrune
