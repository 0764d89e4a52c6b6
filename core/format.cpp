#include "core/format.h"

#include <algorithm>

#include "core/le_bytes.h"

namespace ferrune::format {

Header MakeHeader(std::uint32_t keyBlobLength, std::uint32_t signatureLength) {
  Header header{};
  std::copy(kMagic.begin(), kMagic.end(), header.begin() + kMagicOffset);
  StoreLe32(header.data() + kKeyBlobLengthOffset, keyBlobLength);
  StoreLe32(header.data() + kSignatureLengthOffset, signatureLength);
  return header;
}

bool ReadLayout(std::span<const std::uint8_t> start, std::uint64_t fileSize, Layout* layout) {
  if (fileSize < kHeaderSize || start.size() < kHeaderSize) return false;
  const std::uint32_t k = LoadLe32(start.data() + kKeyBlobLengthOffset);
  const std::uint32_t s = LoadLe32(start.data() + kSignatureLengthOffset);
  if (k > kMaxRegionLength || s > kMaxRegionLength) return false;
  // Both below 2^31, so the sum cannot overflow 64 bits.
  const std::uint64_t ciphertextOffset = std::uint64_t{kHeaderSize} + k + s;
  if (ciphertextOffset > fileSize) return false;
  const std::uint64_t ciphertextLength = fileSize - ciphertextOffset;
  if (ciphertextLength == 0 || ciphertextLength % kBlockSize != 0) return false;
  layout->keyBlobLength = k;
  layout->signatureLength = s;
  layout->keyBlobOffset = kHeaderSize;
  layout->signatureOffset = kHeaderSize + k;
  layout->ciphertextOffset = ciphertextOffset;
  layout->ciphertextLength = ciphertextLength;
  return true;
}

}  // namespace ferrune::format
