#include "platform/openssl/openssl_provider.h"

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/format.h"
#include "core/texts.h"
#include "platform/openssl/public_key_blob.h"
#include "platform/openssl/ssl_handles.h"

namespace ferrune {

// Members go in reverse: the algorithms, then the providers, then the context.
struct OpenSslLibrary {
  ssl::LibraryContext context;
  ssl::LoadedProvider base;
  ssl::LoadedProvider legacy;
  ssl::Cipher rc2;
  ssl::Digest sha1;
};

struct OpenSslProvider::Pair {
  ssl::Key key;
};

namespace {

constexpr std::size_t kSha1Size = 20;
constexpr std::size_t kRc2KeySize = 16;
constexpr std::size_t kBlock = 8;
constexpr unsigned kRc2EffectiveBits = 128;
constexpr int kPairBits = 1024;
// DER of the SHA-1 AlgorithmIdentifier and the digest's OCTET STRING header.
constexpr std::array<std::uint8_t, 15> kSha1DigestInfo = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                                                          0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};

class SslHash final : public ProviderHash {
 public:
  SecretBytes value;
};

class SslPublicKey final : public ProviderPublicKey {
 public:
  ssl::Key key;
  std::size_t modulusBytes = 0;
};

class SslKey final : public ProviderKey {
 public:
  SslKey(std::shared_ptr<OpenSslLibrary> library, const std::uint8_t* keyBytes)
      : library_(std::move(library)), key_(keyBytes, kRc2KeySize) {}
  // A chunk's key: a copy of a keyed decryption context.
  SslKey(std::shared_ptr<OpenSslLibrary> library, ssl::CipherContext context)
      : library_(std::move(library)), ctx_(std::move(context)) {}

  // Asked before the first chunk: the chaining starts again here.
  bool FinalChunkSize(std::size_t length, std::size_t* size) override {
    Reset();
    *size = static_cast<std::size_t>(format::CiphertextLength(length));
    return true;
  }

  // The key schedule is made once; each chunk copies it and sets its IV.
  std::unique_ptr<ProviderKey> DuplicateAt(ByteView iv) override {
    if (iv.size() != kBlock || key_.empty()) return nullptr;
    std::call_once(keyedOnce_, [this] {
      keyed_ = NewContext(false);
      ERR_clear_error();
    });
    if (!keyed_) return nullptr;
    ssl::CipherContext copy(EVP_CIPHER_CTX_new());
    const bool ok = copy && EVP_CIPHER_CTX_copy(copy.get(), keyed_.get()) == 1 &&
                    EVP_CipherInit_ex2(copy.get(), nullptr, nullptr, iv.data(), 0, nullptr) == 1;
    ERR_clear_error();
    if (!ok) return nullptr;
    return std::make_unique<SslKey>(library_, std::move(copy));
  }

  bool Encrypt(std::uint8_t* buffer, std::size_t length, std::size_t capacity, bool final,
               std::size_t* outLength) override {
    if (length > capacity || (!final && length % kBlock != 0)) return false;
    std::size_t total = length;
    if (final) {
      // PKCS#5: 1 to 8 bytes, each the count; a whole block after a whole block.
      const std::size_t pad = kBlock - length % kBlock;
      if (capacity - length < pad) return false;
      std::memset(buffer + length, static_cast<int>(pad), pad);
      total += pad;
    }
    const bool ok = Run(true, buffer, total);
    if (final || !ok) Reset();
    if (!ok) return false;
    *outLength = total;
    return true;
  }

  bool Decrypt(std::uint8_t* buffer, std::size_t length, bool final, std::size_t* outLength) override {
    if (length == 0 || length % kBlock != 0) return false;
    const bool ok = Run(false, buffer, length);
    if (final || !ok) Reset();
    if (!ok) return false;
    std::size_t plain = length;
    if (final) {
      // The Windows provider's rule: the last byte p is 1..8 and the last p bytes are all p.
      const std::uint8_t pad = buffer[length - 1];
      if (pad < 1 || pad > kBlock) return false;
      for (std::size_t i = 1; i <= pad; ++i) {
        if (buffer[length - i] != pad) return false;
      }
      plain -= pad;
    }
    *outLength = plain;
    return true;
  }

 private:
  // Padding is done above, so every call is whole blocks in place.
  bool Run(bool encrypt, std::uint8_t* buffer, std::size_t length) {
    if (!ctx_ || encrypting_ != encrypt) {
      ctx_ = NewContext(encrypt);
      encrypting_ = encrypt;
      if (!ctx_) return false;
    }
    constexpr std::size_t kMaxPart = std::size_t{1} << 30;
    while (length > 0) {
      const std::size_t part = std::min(length, kMaxPart);
      int out = 0;
      if (EVP_CipherUpdate(ctx_.get(), buffer, &out, buffer, static_cast<int>(part)) != 1 ||
          static_cast<std::size_t>(out) != part) {
        ERR_clear_error();
        return false;
      }
      buffer += part;
      length -= part;
    }
    return true;
  }

  // Null when the key is only a chunk's copy or libcrypto refuses.
  ssl::CipherContext NewContext(bool encrypt) const {
    if (key_.empty()) return {};
    ssl::CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return {};
    const int enc = encrypt ? 1 : 0;
    // The effective length is part of the key schedule: set before the key.
    std::size_t bits = kRc2EffectiveBits;
    std::size_t keyLength = kRc2KeySize;
    const OSSL_PARAM params[] = {OSSL_PARAM_size_t(OSSL_CIPHER_PARAM_KEYLEN, &keyLength),
                                 OSSL_PARAM_size_t(OSSL_CIPHER_PARAM_RC2_KEYBITS, &bits), OSSL_PARAM_END};
    const std::uint8_t zeroIv[kBlock] = {};
    if (EVP_CipherInit_ex2(ctx.get(), library_->rc2.get(), nullptr, nullptr, enc, params) != 1 ||
        EVP_CipherInit_ex2(ctx.get(), nullptr, key_.data(), zeroIv, enc, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
      ERR_clear_error();
      return {};
    }
    return ctx;
  }

  void Reset() { ctx_.reset(); }

  std::shared_ptr<OpenSslLibrary> library_;
  SecretBytes key_;  // empty in a chunk's copy
  ssl::CipherContext ctx_;
  bool encrypting_ = false;
  std::once_flag keyedOnce_;
  ssl::CipherContext keyed_;
};

const SecretBytes& ValueOf(ProviderHash& hash) { return static_cast<SslHash&>(hash).value; }

}  // namespace

std::string OpenSslModulesDirectory() {
  if (const char* env = std::getenv("OPENSSL_MODULES"); env && *env) return env;
  std::string text = OpenSSL_version(OPENSSL_MODULES_DIR);  // MODULESDIR: "..."
  const std::size_t open = text.find('"');
  const std::size_t close = text.rfind('"');
  if (open != std::string::npos && close > open) return text.substr(open + 1, close - open - 1);
  return text;
}

std::unique_ptr<OpenSslProvider> OpenSslProvider::Create(std::string* error) {
  auto library = std::make_shared<OpenSslLibrary>();
  library->context.reset(OSSL_LIB_CTX_new());
  if (!library->context) {
    *error = texts::kNoLibraryContext;
    return nullptr;
  }
  OSSL_LIB_CTX* context = library->context.get();
  library->legacy.reset(OSSL_PROVIDER_load(context, "legacy"));
  library->base.reset(OSSL_PROVIDER_load(context, "default"));
  if (library->legacy) library->rc2.reset(EVP_CIPHER_fetch(context, "RC2-CBC", nullptr));
  if (library->base) library->sha1.reset(EVP_MD_fetch(context, "SHA1", nullptr));
  ERR_clear_error();
  if (!library->legacy || !library->rc2) {
    *error = texts::Filled(texts::kNoRc2, {OpenSslModulesDirectory()});
    return nullptr;
  }
  if (!library->base || !library->sha1) {
    *error = texts::kNoDefaultProvider;
    return nullptr;
  }
  return std::unique_ptr<OpenSslProvider>(new OpenSslProvider(std::move(library)));
}

OpenSslProvider::OpenSslProvider(std::shared_ptr<OpenSslLibrary> library) : library_(std::move(library)) {}
OpenSslProvider::~OpenSslProvider() = default;

bool OpenSslProvider::UseSignatureKey(std::string_view pem) {
  if (pair_) return false;
  const ssl::Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return false;
  ssl::Key key(PEM_read_bio_PrivateKey_ex(bio.get(), nullptr, nullptr, nullptr, library_->context.get(), nullptr));
  ERR_clear_error();
  if (!key || !EVP_PKEY_is_a(key.get(), "RSA")) return false;
  auto pair = std::make_unique<Pair>();
  pair->key = std::move(key);
  bool set = false;
  std::call_once(pairOnce_, [&] {
    pair_ = std::move(pair);
    set = true;
  });
  return set;
}

bool OpenSslProvider::EnsurePair() {
  std::call_once(pairOnce_, [this] {
    const ssl::KeyContext ctx(EVP_PKEY_CTX_new_from_name(library_->context.get(), "RSA", nullptr));
    ssl::Key key;
    if (ctx && EVP_PKEY_keygen_init(ctx.get()) == 1 && EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), kPairBits) == 1 &&
        EVP_PKEY_generate(ctx.get(), key.put()) == 1) {
      auto pair = std::make_unique<Pair>();
      pair->key = std::move(key);
      pair_ = std::move(pair);
    }
    ERR_clear_error();
  });
  return pair_ != nullptr;
}

std::unique_ptr<ProviderHash> OpenSslProvider::Hash(std::initializer_list<ByteView> parts) {
  const ssl::DigestContext ctx(EVP_MD_CTX_new());
  if (!ctx) return nullptr;
  auto hash = std::make_unique<SslHash>();
  hash->value = SecretBytes(kSha1Size);
  unsigned int size = 0;
  bool ok = EVP_DigestInit_ex2(ctx.get(), library_->sha1.get(), nullptr) == 1;
  for (const ByteView part : parts) ok = ok && EVP_DigestUpdate(ctx.get(), part.data(), part.size()) == 1;
  ok = ok && EVP_DigestFinal_ex(ctx.get(), hash->value.data(), &size) == 1 && size == kSha1Size;
  ERR_clear_error();
  if (!ok) return nullptr;
  return hash;
}

bool OpenSslProvider::HashValue(ProviderHash& hash, SecretBytes* value) {
  *value = ValueOf(hash);
  return value->size() == kSha1Size;
}

std::unique_ptr<ProviderKey> OpenSslProvider::DeriveKey(ProviderHash& hash) {
  const SecretBytes& value = ValueOf(hash);
  if (value.size() < kRc2KeySize) return nullptr;
  return std::make_unique<SslKey>(library_, value.data());
}

bool OpenSslProvider::ExportSignaturePublicKey(std::vector<std::uint8_t>* out) {
  if (!EnsurePair()) return false;
  ssl::BigNumber n;
  ssl::BigNumber e;
  bool ok = EVP_PKEY_get_bn_param(pair_->key.get(), OSSL_PKEY_PARAM_RSA_N, n.put()) == 1 &&
            EVP_PKEY_get_bn_param(pair_->key.get(), OSSL_PKEY_PARAM_RSA_E, e.put()) == 1;
  blob::RsaPublic key;
  if (ok) {
    const int bytes = BN_num_bytes(n.get());
    const BN_ULONG exponent = BN_get_word(e.get());
    ok = bytes > 0 && exponent > 0 && exponent <= std::numeric_limits<std::uint32_t>::max();
    if (ok) {
      key.bits = static_cast<std::uint32_t>(bytes) * 8;
      key.exponent = static_cast<std::uint32_t>(exponent);
      key.modulusLe.resize(static_cast<std::size_t>(bytes));
      ok = BN_bn2lebinpad(n.get(), key.modulusLe.data(), bytes) == bytes;
    }
  }
  ERR_clear_error();
  if (!ok) return false;
  *out = blob::Build(key);
  return true;
}

bool OpenSslProvider::Sign(ProviderHash& hash, std::vector<std::uint8_t>* signature) {
  if (!EnsurePair()) return false;
  const SecretBytes& digest = ValueOf(hash);
  const ssl::KeyContext ctx(EVP_PKEY_CTX_new_from_pkey(library_->context.get(), pair_->key.get(), nullptr));
  std::size_t size = 0;
  bool ok = ctx && EVP_PKEY_sign_init(ctx.get()) == 1 &&
            EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1 &&
            EVP_PKEY_CTX_set_signature_md(ctx.get(), library_->sha1.get()) == 1 &&
            EVP_PKEY_sign(ctx.get(), nullptr, &size, digest.data(), digest.size()) == 1;
  if (ok) {
    signature->assign(size, 0);
    ok = EVP_PKEY_sign(ctx.get(), signature->data(), &size, digest.data(), digest.size()) == 1 &&
         size == static_cast<std::size_t>(EVP_PKEY_get_size(pair_->key.get()));
  }
  ERR_clear_error();
  if (!ok) return false;
  signature->resize(size);
  // OpenSSL writes the most significant byte first; the Windows provider the least.
  std::reverse(signature->begin(), signature->end());
  return true;
}

std::unique_ptr<ProviderPublicKey> OpenSslProvider::ImportPublicKey(ByteView data) {
  const std::optional<blob::RsaPublic> parsed = blob::Parse(data);
  if (!parsed) return nullptr;
  const ssl::BigNumber n(BN_lebin2bn(parsed->modulusLe.data(), static_cast<int>(parsed->modulusLe.size()), nullptr));
  const ssl::BigNumber e(BN_new());
  const ssl::ParamBuilder build(OSSL_PARAM_BLD_new());
  ssl::Params params;
  auto key = std::make_unique<SslPublicKey>();
  key->modulusBytes = parsed->modulusLe.size();
  bool ok = n && e && build && BN_set_word(e.get(), parsed->exponent) == 1 &&
            OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) == 1 &&
            OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) == 1;
  if (ok) {
    params.reset(OSSL_PARAM_BLD_to_param(build.get()));
    ok = static_cast<bool>(params);
  }
  if (ok) {
    const ssl::KeyContext ctx(EVP_PKEY_CTX_new_from_name(library_->context.get(), "RSA", nullptr));
    ok = ctx && EVP_PKEY_fromdata_init(ctx.get()) == 1 &&
         EVP_PKEY_fromdata(ctx.get(), key->key.put(), EVP_PKEY_PUBLIC_KEY, params.get()) == 1;
  }
  ERR_clear_error();
  if (!ok) return nullptr;
  return key;
}

bool OpenSslProvider::Verify(ProviderHash& hash, ByteView signature, ProviderPublicKey& publicKey) {
  auto& key = static_cast<SslPublicKey&>(publicKey);
  // As the Windows provider: exactly the modulus length, least significant byte first.
  if (signature.empty() || signature.size() != key.modulusBytes) return false;
  std::vector<std::uint8_t> bigEndian(signature.rbegin(), signature.rend());
  std::vector<std::uint8_t> recovered(key.modulusBytes);
  std::size_t size = recovered.size();
  const ssl::KeyContext ctx(EVP_PKEY_CTX_new_from_pkey(library_->context.get(), key.key.get(), nullptr));
  const bool ok = ctx && EVP_PKEY_verify_recover_init(ctx.get()) == 1 &&
                  EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1 &&
                  EVP_PKEY_verify_recover(ctx.get(), recovered.data(), &size, bigEndian.data(), bigEndian.size()) == 1;
  ERR_clear_error();
  if (!ok) return false;
  const SecretBytes& digest = ValueOf(hash);
  // The Windows provider with flags 0 takes the digest with or without its
  // DigestInfo; so does this one.
  if (size == kSha1DigestInfo.size() + kSha1Size) {
    return std::equal(kSha1DigestInfo.begin(), kSha1DigestInfo.end(), recovered.begin()) &&
           std::memcmp(recovered.data() + kSha1DigestInfo.size(), digest.data(), kSha1Size) == 0;
  }
  return size == kSha1Size && std::memcmp(recovered.data(), digest.data(), kSha1Size) == 0;
}

}  // namespace ferrune
