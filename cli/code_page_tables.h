// The single-byte Windows code pages the tool takes: 874 and 1250 to 1258.
#pragma once

namespace ferrune::cli {

// 128 characters for bytes 0x80 to 0xFF, or
// null for a code page that is not one of these.
const char16_t* CodePageUpperHalf(int codePage);

}  // namespace ferrune::cli
