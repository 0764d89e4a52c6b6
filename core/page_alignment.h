// Whole pages from a page boundary: the transfers a file system may take
// past the system's cache, straight between the disk and the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/secret_bytes.h"

namespace ferrune {

inline constexpr std::size_t kPageAlignment = 4096;

// Bytes to skip from `p` so that `p + skip + lead` starts a page.
inline std::size_t PageSkip(const void* p, std::size_t lead = 0) {
  const std::size_t past = (reinterpret_cast<std::uintptr_t>(p) + lead) % kPageAlignment;
  return past == 0 ? 0 : kPageAlignment - past;
}

// Whole pages, from a page of the file and of memory.
inline bool OnPages(std::uint64_t offset, const void* p, std::size_t length) {
  return offset % kPageAlignment == 0 && length % kPageAlignment == 0 && PageSkip(p) == 0;
}

// Reads [offset, offset + length) through `bounce`, a buffer of whole pages
// from a page, for a file that takes only such reads. `readPages(at, pages,
// count)` reads at most `count` bytes of whole pages from `at` and gives how
// many it read, fewer only at the end of the file, or a negative number on
// an error.
template <typename ReadPages>
bool ReadThroughPages(std::uint64_t offset, std::uint8_t* buffer, std::size_t length, SecretBytes& bounce,
                      ReadPages readPages) {
  const std::uint64_t start = offset - offset % kPageAlignment;
  const std::size_t lead = static_cast<std::size_t>(offset - start);
  const std::size_t span = (lead + length + kPageAlignment - 1) / kPageAlignment * kPageAlignment;
  if (bounce.size() < span + kPageAlignment) bounce = SecretBytes(span + kPageAlignment);
  std::uint8_t* const pages = bounce.data() + PageSkip(bounce.data());
  std::size_t got = 0;
  while (got < lead + length) {
    const auto moved = readPages(start + got, pages + got, span - got);
    if (moved <= 0) return false;
    got += static_cast<std::size_t>(moved);
    if (got % kPageAlignment != 0) break;  // the file's last page
  }
  if (got < lead + length) return false;
  std::memcpy(buffer, pages + lead, length);
  return true;
}

}  // namespace ferrune
