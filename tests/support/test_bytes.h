// Byte helpers for every test.
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

// The bytes of a text, as written.
inline Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Printable ASCII: no cut ciphertext of them ends in what looks like padding.
// Another variant gives other bytes of the same kind.
inline Bytes PrintableBytes(std::size_t size, unsigned variant = 0) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) {
    data[i] = static_cast<std::uint8_t>(0x20 + (i * 7 + variant * 13 + i / 91) % 0x5F);
  }
  return data;
}

inline Bytes RandomBytes(std::size_t size, std::uint32_t variant) {
  std::mt19937 rng(variant);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

}  // namespace ferrune::testing
