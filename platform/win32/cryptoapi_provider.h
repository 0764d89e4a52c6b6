// The container's provider through CryptoAPI on an open context: SHA-1, the
// RC2 key derived from it with flags 0, and the context's AT_SIGNATURE pair.
#pragma once

#ifdef _WIN32
#include "core/provider.h"
#include "platform/win32/crypt_handles.h"

namespace ferrune {

class CryptoApiProvider final : public Provider {
 public:
  // The context must stay open while this is used.
  explicit CryptoApiProvider(HCRYPTPROV context) : context_(context) {}

  std::unique_ptr<ProviderHash> Hash(std::initializer_list<ByteView> parts) override;
  bool HashValue(ProviderHash& hash, SecretBytes* value) override;
  std::unique_ptr<ProviderKey> DeriveKey(ProviderHash& hash) override;
  bool ExportSignaturePublicKey(std::vector<std::uint8_t>* blob) override;
  bool Sign(ProviderHash& hash, std::vector<std::uint8_t>* signature) override;
  std::unique_ptr<ProviderPublicKey> ImportPublicKey(ByteView blob) override;
  bool Verify(ProviderHash& hash, ByteView signature, ProviderPublicKey& key) override;

 private:
  HCRYPTPROV context_;
};

}  // namespace ferrune
#endif
