// The container's provider on OpenSSL 3's libcrypto, producing and accepting
// the bytes the Windows provider does: SHA-1; RC2-CBC with the first 16 bytes
// of the hash as key, effective key length 128, a zero IV and PKCS#5 padding;
// an RSA signature pair as a PUBLICKEYBLOB; PKCS#1 v1.5 signatures stored
// least significant byte first.
//
// RC2 lives in OpenSSL's legacy provider. It is loaded into a library
// context of this object's own, so nothing else in the process sees it.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/provider.h"

namespace ferrune {

struct OpenSslLibrary;

class OpenSslProvider final : public Provider {
 public:
  // Null, with a sentence for the user in `error`, when libcrypto cannot give
  // RC2, SHA-1 or RSA (most often: the legacy module is not installed).
  static std::unique_ptr<OpenSslProvider> Create(std::string* error);
  ~OpenSslProvider() override;

  // The signature pair is made on first use: 1024 bits, exponent 65537, kept
  // in memory only. Tests may give a fixed one instead (PEM, private key).
  bool UseSignatureKey(std::string_view pem);

  std::unique_ptr<ProviderHash> Hash(std::initializer_list<ByteView> parts) override;
  bool HashValue(ProviderHash& hash, SecretBytes* value) override;
  std::unique_ptr<ProviderKey> DeriveKey(ProviderHash& hash) override;
  bool ExportSignaturePublicKey(std::vector<std::uint8_t>* blob) override;
  bool Sign(ProviderHash& hash, std::vector<std::uint8_t>* signature) override;
  std::unique_ptr<ProviderPublicKey> ImportPublicKey(ByteView blob) override;
  bool Verify(ProviderHash& hash, ByteView signature, ProviderPublicKey& key) override;

 private:
  explicit OpenSslProvider(std::shared_ptr<OpenSslLibrary> library);
  bool EnsurePair();

  std::shared_ptr<OpenSslLibrary> library_;
  std::once_flag pairOnce_;
  struct Pair;
  std::unique_ptr<Pair> pair_;
};

// Where OpenSSL looks for its modules, for messages.
std::string OpenSslModulesDirectory();

}  // namespace ferrune
