// A deterministic stand-in for the crypto provider: a toy hash, a toy 64-bit
// block cipher in CBC with the same padding and chunk rules as the real one,
// and toy signatures. Hash objects refuse any use after a verification, as
// the real provider may.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/provider.h"

namespace ferrune::testing {

class FakeProvider final : public Provider {
 public:
  std::unique_ptr<ProviderHash> Hash(std::initializer_list<ByteView> parts) override;
  bool HashValue(ProviderHash& hash, SecretBytes* value) override;
  std::unique_ptr<ProviderKey> DeriveKey(ProviderHash& hash) override;
  bool ExportSignaturePublicKey(std::vector<std::uint8_t>* blob) override;
  bool Sign(ProviderHash& hash, std::vector<std::uint8_t>* signature) override;
  std::unique_ptr<ProviderPublicKey> ImportPublicKey(ByteView blob) override;
  bool Verify(ProviderHash& hash, ByteView signature, ProviderPublicKey& key) override;

  // The toy hash of some bytes, and one-shot encryption, for expected values.
  static std::vector<std::uint8_t> Digest(ByteView data);
  static std::vector<std::uint8_t> EncryptWhole(ByteView password, ByteView plain);
  static std::vector<std::uint8_t> BlobFor(std::uint64_t pairId);
  static std::vector<std::uint8_t> SignatureFor(std::uint64_t pairId, ByteView digest);
  // The toy cipher one block at a time (before and after the chaining), for
  // tests that generate ciphertext at any offset.
  static std::uint64_t KeyFor(ByteView password);
  static std::uint64_t EncryptBlock(std::uint64_t key, std::uint64_t x);
  static std::uint64_t DecryptBlock(std::uint64_t key, std::uint64_t c);

  std::uint64_t pairId = 7;
  std::atomic<bool> failExport{false};
  std::atomic<bool> emptySignature{false};
  // Counts encryption calls over all keys; the call with this number fails.
  std::atomic<int> failEncryptCall{-1};
  std::atomic<int> encryptCalls{0};
  // Keys duplicated for chunks of a decryption.
  std::atomic<int> duplicates{0};
};

}  // namespace ferrune::testing
