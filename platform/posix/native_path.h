// Wide paths to and from the bytes a POSIX system names files with. Names
// are taken as UTF-8; a byte that is not part of valid UTF-8 becomes
// U+DC80..U+DCFF and turns back into the same byte, so every name a
// directory can hold survives the trip.
#pragma once

#include <string>
#include <string_view>

namespace ferrune {

std::wstring FromNativePath(std::string_view bytes);
std::string ToNativePath(std::wstring_view path);

}  // namespace ferrune
