// A byte buffer for secrets (password bytes, hash values) that wipes itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace ferrune {

// Writes zeros through a volatile pointer so that the compiler keeps the wipe.
inline void WipeBytes(void* data, std::size_t size) {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  while (size--) *p++ = 0;
}

class SecretBytes {
 public:
  SecretBytes() = default;
  explicit SecretBytes(std::size_t size) : bytes_(size) {}
  SecretBytes(const void* data, std::size_t size)
      : bytes_(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size) {}
  static SecretBytes FromText(std::string_view text) { return SecretBytes(text.data(), text.size()); }

  SecretBytes(const SecretBytes& other) : bytes_(other.bytes_) {}
  SecretBytes& operator=(const SecretBytes& other) {
    if (this != &other) {
      Wipe();
      bytes_ = other.bytes_;
    }
    return *this;
  }
  SecretBytes(SecretBytes&& other) noexcept : bytes_(std::move(other.bytes_)) { other.bytes_.clear(); }
  SecretBytes& operator=(SecretBytes&& other) noexcept {
    if (this != &other) {
      Wipe();
      bytes_ = std::move(other.bytes_);
      other.bytes_.clear();
    }
    return *this;
  }
  ~SecretBytes() { Wipe(); }

  const std::uint8_t* data() const { return bytes_.data(); }
  std::uint8_t* data() { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }

  // Wipes the bytes and leaves the buffer empty.
  void Wipe() {
    if (!bytes_.empty()) WipeBytes(bytes_.data(), bytes_.size());
    bytes_.clear();
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace ferrune
