// A fast checksum of bytes read, to tell a second read of them from the
// first without keeping a copy: four independent lanes, so that the
// multiplications overlap. Not against an adversary; against a disk or a
// cable that delivers other bytes once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ferrune {

inline std::uint64_t Checksum(const std::uint8_t* data, std::size_t length) {
  constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15u;
  std::uint64_t lanes[4] = {1, 2, 3, 4};
  std::size_t i = 0;
  for (; i + 32 <= length; i += 32) {
    for (int lane = 0; lane < 4; ++lane) {
      std::uint64_t word;
      std::memcpy(&word, data + i + 8 * lane, 8);
      lanes[lane] = (lanes[lane] ^ word) * kOdd;
      lanes[lane] ^= lanes[lane] >> 29;
    }
  }
  std::uint64_t sum = length;
  for (; i < length; ++i) sum = (sum ^ data[i]) * kOdd;
  for (const std::uint64_t lane : lanes) sum = (sum ^ lane) * kOdd + (sum >> 31);
  return sum ^ (sum >> 32);
}

}  // namespace ferrune
