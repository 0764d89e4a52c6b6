#include "platform/win32/cryptoapi_provider.h"

#include <limits>
#include <mutex>

namespace ferrune {
namespace {

constexpr std::size_t kMaxCall = std::numeric_limits<DWORD>::max();
constexpr std::size_t kRc2Block = 8;

class ApiHash final : public ProviderHash {
 public:
  CryptHash handle;
};

class ApiPublicKey final : public ProviderPublicKey {
 public:
  CryptKey handle;
};

HCRYPTHASH HandleOf(ProviderHash& hash) { return static_cast<ApiHash&>(hash).handle.get(); }

class ApiKey final : public ProviderKey {
 public:
  // The size call of CryptEncrypt: no buffer, the data length in, buffer
  // length 0. Under Wine it also resets the feedback register, so it is
  // asked only while the key is unused.
  bool FinalChunkSize(std::size_t length, std::size_t* size) override {
    if (length > kMaxCall) return false;
    DWORD needed = static_cast<DWORD>(length);
    if (!CryptEncrypt(handle.get(), 0, TRUE, 0, nullptr, &needed, 0)) return false;
    *size = needed;
    return true;
  }

  bool Encrypt(std::uint8_t* buffer, std::size_t length, std::size_t capacity, bool final,
               std::size_t* outLength) override {
    if (capacity > kMaxCall || length > capacity) return false;
    DWORD size = static_cast<DWORD>(length);
    if (!CryptEncrypt(handle.get(), 0, final ? TRUE : FALSE, 0, buffer, &size, static_cast<DWORD>(capacity))) {
      return false;
    }
    *outLength = size;
    return true;
  }

  bool Decrypt(std::uint8_t* buffer, std::size_t length, bool final, std::size_t* outLength) override {
    // Wine's provider crashes on an empty final call and runs past a ragged one.
    if (length == 0 || length % kRc2Block != 0 || length > kMaxCall) return false;
    DWORD size = static_cast<DWORD>(length);
    if (!CryptDecrypt(handle.get(), 0, final ? TRUE : FALSE, 0, buffer, &size)) return false;
    *outLength = size;
    return true;
  }

  // Windows does not promise that KP_IV resets the chaining of a used key,
  // so every chunk gets a fresh duplicate of this untouched one.
  std::unique_ptr<ProviderKey> DuplicateAt(ByteView iv) override {
    if (iv.size() != kRc2Block) return nullptr;
    auto copy = std::make_unique<ApiKey>();
    {
      // The duplicate reads this key's state: one at a time.
      std::lock_guard lock(duplicating_);
      if (!CryptDuplicateKey(handle.get(), nullptr, 0, copy->handle.put())) return nullptr;
    }
    if (!CryptSetKeyParam(copy->handle.get(), KP_IV, iv.data(), 0)) return nullptr;
    return copy;
  }

  CryptKey handle;

 private:
  std::mutex duplicating_;
};

// Two calls: the size with no buffer, then into a buffer of that size.
template <typename Call>
bool TwoCall(std::vector<std::uint8_t>* out, Call call) {
  DWORD size = 0;
  if (!call(nullptr, &size)) return false;
  out->assign(size, 0);
  if (!call(out->data(), &size)) return false;
  out->resize(size);
  return true;
}

}  // namespace

std::unique_ptr<ProviderHash> CryptoApiProvider::Hash(std::initializer_list<ByteView> parts) {
  auto hash = std::make_unique<ApiHash>();
  if (!CryptCreateHash(context_, CALG_SHA1, 0, 0, hash->handle.put())) return nullptr;
  static const BYTE kNothing = 0;
  for (const ByteView part : parts) {
    if (part.size() > kMaxCall) return nullptr;
    // An empty password is hashed as zero bytes, never as a null pointer.
    const BYTE* data = part.empty() ? &kNothing : part.data();
    if (!CryptHashData(hash->handle.get(), data, static_cast<DWORD>(part.size()), 0)) return nullptr;
  }
  return hash;
}

bool CryptoApiProvider::HashValue(ProviderHash& hash, SecretBytes* value) {
  DWORD size = 0;
  if (!CryptGetHashParam(HandleOf(hash), HP_HASHVAL, nullptr, &size, 0) || size == 0) return false;
  SecretBytes bytes(size);
  if (!CryptGetHashParam(HandleOf(hash), HP_HASHVAL, bytes.data(), &size, 0) || size != bytes.size()) return false;
  *value = std::move(bytes);
  return true;
}

std::unique_ptr<ProviderKey> CryptoApiProvider::DeriveKey(ProviderHash& hash) {
  auto key = std::make_unique<ApiKey>();
  if (!CryptDeriveKey(context_, CALG_RC2, HandleOf(hash), 0, key->handle.put())) return nullptr;
  return key;
}

bool CryptoApiProvider::ExportSignaturePublicKey(std::vector<std::uint8_t>* blob) {
  CryptKey pair;
  if (!CryptGetUserKey(context_, AT_SIGNATURE, pair.put())) return false;
  return TwoCall(blob, [&](BYTE* data, DWORD* size) {
    return CryptExportKey(pair.get(), 0, PUBLICKEYBLOB, 0, data, size) != FALSE;
  });
}

bool CryptoApiProvider::Sign(ProviderHash& hash, std::vector<std::uint8_t>* signature) {
  return TwoCall(signature, [&](BYTE* data, DWORD* size) {
    return CryptSignHashA(HandleOf(hash), AT_SIGNATURE, nullptr, 0, data, size) != FALSE;
  });
}

std::unique_ptr<ProviderPublicKey> CryptoApiProvider::ImportPublicKey(ByteView blob) {
  if (blob.empty() || blob.size() > kMaxCall) return nullptr;
  auto key = std::make_unique<ApiPublicKey>();
  if (!CryptImportKey(context_, blob.data(), static_cast<DWORD>(blob.size()), 0, CRYPT_EXPORTABLE, key->handle.put())) {
    return nullptr;
  }
  return key;
}

bool CryptoApiProvider::Verify(ProviderHash& hash, ByteView signature, ProviderPublicKey& key) {
  if (signature.empty() || signature.size() > kMaxCall) return false;
  return CryptVerifySignatureA(HandleOf(hash), signature.data(), static_cast<DWORD>(signature.size()),
                               static_cast<ApiPublicKey&>(key).handle.get(), nullptr, 0) != FALSE;
}

}  // namespace ferrune
