#include "platform/openssl/public_key_blob.h"

#include <algorithm>

#include "core/le_bytes.h"

namespace ferrune::blob {

std::vector<std::uint8_t> Build(const RsaPublic& key, std::uint32_t algorithm) {
  // Sized once, then filled: the whole blob in one allocation.
  std::vector<std::uint8_t> out(kFixedPart + key.modulusLe.size());
  out[kTypeOffset] = kPublicKeyBlob;
  out[kVersionOffset] = kBlobVersion;
  StoreLe32(out.data() + kAlgorithmOffset, algorithm);
  StoreLe32(out.data() + kMagicOffset, kRsa1Magic);
  StoreLe32(out.data() + kBitLengthOffset, key.bits);
  StoreLe32(out.data() + kExponentOffset, key.exponent);
  std::copy(key.modulusLe.begin(), key.modulusLe.end(), out.begin() + kFixedPart);
  return out;
}

std::optional<RsaPublic> Parse(std::span<const std::uint8_t> blob) {
  if (blob.size() < kFixedPart) return std::nullopt;
  const auto reserved = blob.subspan(kReservedOffset, kReservedSize);
  if (blob[kTypeOffset] != kPublicKeyBlob || blob[kVersionOffset] != kBlobVersion ||
      std::any_of(reserved.begin(), reserved.end(), [](std::uint8_t b) { return b != 0; })) {
    return std::nullopt;
  }
  const std::uint32_t algorithm = LoadLe32(blob.data() + kAlgorithmOffset);
  if (algorithm != kRsaSign && algorithm != kRsaExchange) return std::nullopt;
  if (LoadLe32(blob.data() + kMagicOffset) != kRsa1Magic) return std::nullopt;
  RsaPublic key;
  key.bits = LoadLe32(blob.data() + kBitLengthOffset);
  key.exponent = LoadLe32(blob.data() + kExponentOffset);
  if (key.bits == 0 || key.bits % 8 != 0 || key.bits > kMaxBits || key.exponent == 0) return std::nullopt;
  const std::size_t modulusBytes = key.bits / 8;
  if (blob.size() - kFixedPart < modulusBytes) return std::nullopt;
  key.modulusLe.assign(blob.begin() + kFixedPart,
                       blob.begin() + kFixedPart + static_cast<std::ptrdiff_t>(modulusBytes));
  return key;
}

}  // namespace ferrune::blob
