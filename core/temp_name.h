// The one name of our temporary files, where a system needs a name for
// them: ".ferrune-<process>-<8 hex digits>.tmp" in the output's folder, so
// that a rename never crosses volumes and a later job can tell a leftover
// of ours from anything else there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ferrune {

// A new name for this process: no two calls give the same one.
std::wstring NewTempFileName(std::uint32_t processId);

// True for a name that NewTempFileName can give, and only for such a name.
bool IsTempFileName(std::wstring_view name);

}  // namespace ferrune
