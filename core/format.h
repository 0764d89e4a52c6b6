// The .zrv layout: a 16-byte header (the magic, then the key blob's and the
// signature's lengths, little-endian), then the key blob, the signature and
// the ciphertext, with no gaps and no trailer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ferrune::format {

inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kMagicOffset = 0;
inline constexpr std::size_t kMagicSize = 8;
inline constexpr std::size_t kKeyBlobLengthOffset = 8;
inline constexpr std::size_t kSignatureLengthOffset = 12;
inline constexpr std::array<std::uint8_t, kMagicSize> kMagic = {'Z', 'R', 'V', '0', '1', '0', '0', '1'};

// Lengths of 2^31 or more are invalid.
inline constexpr std::uint32_t kMaxRegionLength = 0x7FFFFFFFu;
// Blobs and signatures above this cannot come from any provider key size
// (16384-bit RSA needs about 2 KiB): such a file is damaged, and refusing it
// unread keeps memory bounded.
inline constexpr std::uint32_t kMaxKeyBlobLength = 64 * 1024;
inline constexpr std::uint32_t kMaxSignatureLength = 64 * 1024;
// The cipher's block: the ciphertext is a whole number of these.
inline constexpr std::size_t kBlockSize = 8;

using Header = std::array<std::uint8_t, kHeaderSize>;

// Both lengths at most kMaxRegionLength.
Header MakeHeader(std::uint32_t keyBlobLength, std::uint32_t signatureLength);

struct Layout {
  std::uint32_t keyBlobLength = 0;
  std::uint32_t signatureLength = 0;
  std::uint64_t keyBlobOffset = 0;
  std::uint64_t signatureOffset = 0;
  std::uint64_t ciphertextOffset = 0;
  std::uint64_t ciphertextLength = 0;
};

// False for a damaged file: shorter than the header, a length of 2^31 or
// more, the key blob or the signature past the end, or a ciphertext that is
// empty or not a whole number of blocks. `start` holds the file's first bytes
// (at least 16 when the file has them); the magic is never looked at.
bool ReadLayout(std::span<const std::uint8_t> start, std::uint64_t fileSize, Layout* layout);

// Ciphertext length of `plainLength` bytes: padding adds 1 to 8 bytes.
inline std::uint64_t CiphertextLength(std::uint64_t plainLength) { return (plainLength / kBlockSize + 1) * kBlockSize; }

}  // namespace ferrune::format
