// The CryptoAPI PUBLICKEYBLOB of an RSA key, byte for byte: BLOBHEADER,
// RSAPUBKEY and the modulus, all little-endian. Pure byte work, so that the
// OpenSSL provider writes and reads exactly what the Windows provider does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ferrune::blob {

inline constexpr std::uint8_t kPublicKeyBlob = 0x06;
inline constexpr std::uint8_t kBlobVersion = 0x02;
inline constexpr std::uint32_t kRsaSign = 0x00002400;      // CALG_RSA_SIGN
inline constexpr std::uint32_t kRsaExchange = 0x0000A400;  // CALG_RSA_KEYX
inline constexpr std::uint32_t kRsa1Magic = 0x31415352;    // "RSA1"
// BLOBHEADER (type, version, two reserved bytes, algorithm), then RSAPUBKEY
// (magic, bit length, exponent), then the modulus.
inline constexpr std::size_t kTypeOffset = 0;
inline constexpr std::size_t kVersionOffset = 1;
inline constexpr std::size_t kReservedOffset = 2;
inline constexpr std::size_t kReservedSize = 2;
inline constexpr std::size_t kAlgorithmOffset = 4;
inline constexpr std::size_t kMagicOffset = 8;
inline constexpr std::size_t kBitLengthOffset = 12;
inline constexpr std::size_t kExponentOffset = 16;
inline constexpr std::size_t kFixedPart = 20;
// The largest key CryptoAPI generates; larger ones only cost time.
inline constexpr std::uint32_t kMaxBits = 16384;

struct RsaPublic {
  std::uint32_t bits = 0;
  std::uint32_t exponent = 0;
  // Little-endian, bits / 8 bytes.
  std::vector<std::uint8_t> modulusLe;
};

// `modulusLe` must hold bits / 8 bytes.
std::vector<std::uint8_t> Build(const RsaPublic& key, std::uint32_t algorithm = kRsaSign);

// The checks the Windows provider makes on import: type 6, version 2, zero
// reserved bytes, an RSA algorithm, "RSA1", a bit length that is a nonzero
// multiple of 8 and fits the blob. Bytes after the modulus are ignored.
std::optional<RsaPublic> Parse(std::span<const std::uint8_t> blob);

}  // namespace ferrune::blob
