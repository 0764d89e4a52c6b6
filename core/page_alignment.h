// Whole pages from a page boundary: the transfers a file system may take
// past the system's cache, straight between the disk and the buffer.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace ferrune
