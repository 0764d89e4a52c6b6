// What the container needs of a crypto provider. Portable: the Windows build
// puts CryptoAPI behind it, other builds another library.
//
// One provider object is used from several threads at once (the work, its
// proof and the decryption's helpers), each with its own hash and key objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

#include "core/opaque.h"
#include "core/secret_bytes.h"

namespace ferrune {

using ByteView = std::span<const std::uint8_t>;

// A finished SHA-1 hash. After a verification it may only be destroyed.
using ProviderHash = Opaque<struct HashTag>;

// The password key: RC2 in CBC mode with the provider's padding. Chunks work
// in place; every chunk but the final one is a whole number of blocks.
class ProviderKey {
 public:
  virtual ~ProviderKey() = default;
  // Ciphertext size of a final chunk of `length` bytes. Asked before the
  // first chunk: a provider may restart its chaining on this question.
  virtual bool FinalChunkSize(std::size_t length, std::size_t* size) = 0;
  // `length` plain bytes at the front of `buffer`, which holds `capacity`
  // bytes (the final chunk needs room for its padding).
  virtual bool Encrypt(std::uint8_t* buffer, std::size_t length, std::size_t capacity, bool final,
                       std::size_t* outLength) = 0;
  // A failure of the final chunk means bad padding or a bad length.
  virtual bool Decrypt(std::uint8_t* buffer, std::size_t length, bool final, std::size_t* outLength) = 0;
  // A new key of the same secret whose chaining starts from `iv` (one cipher
  // block), for decrypting one chunk beside others. Only a key that has
  // never touched data may be duplicated; it may be from several threads at
  // once. Null on failure.
  virtual std::unique_ptr<ProviderKey> DuplicateAt(ByteView iv) = 0;
};

// A public key imported to verify a signature with.
using ProviderPublicKey = Opaque<struct PublicKeyTag>;

class Provider {
 public:
  virtual ~Provider() = default;

  // SHA-1 over the parts, in order. Null on failure.
  virtual std::unique_ptr<ProviderHash> Hash(std::initializer_list<ByteView> parts) = 0;
  virtual bool HashValue(ProviderHash& hash, SecretBytes* value) = 0;
  // The RC2 key derived from the hash with the provider's defaults.
  virtual std::unique_ptr<ProviderKey> DeriveKey(ProviderHash& hash) = 0;

  // The public half of the signature pair, as the provider exports it.
  virtual bool ExportSignaturePublicKey(std::vector<std::uint8_t>* blob) = 0;
  virtual bool Sign(ProviderHash& hash, std::vector<std::uint8_t>* signature) = 0;

  virtual std::unique_ptr<ProviderPublicKey> ImportPublicKey(ByteView blob) = 0;
  // True only when `signature` is that key's signature of the hash.
  virtual bool Verify(ProviderHash& hash, ByteView signature, ProviderPublicKey& key) = 0;
};

}  // namespace ferrune
