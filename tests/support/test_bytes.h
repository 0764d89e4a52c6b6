// Byte helpers shared by the command-line tool's tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace ferrune::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline std::string ToHex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const std::uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

inline Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes RandomBytes(std::size_t size, std::uint32_t variant) {
  std::mt19937 rng(variant);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

}  // namespace ferrune::testing
