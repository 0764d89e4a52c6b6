#include "openssl_provider.h"

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

#include "public_key_blob.h"

namespace ferrune {

struct OpenSslLibrary {
  OSSL_LIB_CTX* context = nullptr;
  OSSL_PROVIDER* legacy = nullptr;
  OSSL_PROVIDER* base = nullptr;
  EVP_CIPHER* rc2 = nullptr;
  EVP_MD* sha1 = nullptr;

  ~OpenSslLibrary() {
    EVP_MD_free(sha1);
    EVP_CIPHER_free(rc2);
    if (legacy) OSSL_PROVIDER_unload(legacy);
    if (base) OSSL_PROVIDER_unload(base);
    OSSL_LIB_CTX_free(context);
  }
};

struct OpenSslProvider::Pair {
  EVP_PKEY* key = nullptr;
  ~Pair() { EVP_PKEY_free(key); }
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

struct PkeyCtx {
  EVP_PKEY_CTX* p = nullptr;
  ~PkeyCtx() { EVP_PKEY_CTX_free(p); }
};

class SslHash final : public ProviderHash {
 public:
  SecretBytes value;
};

class SslPublicKey final : public ProviderPublicKey {
 public:
  ~SslPublicKey() override { EVP_PKEY_free(key); }
  EVP_PKEY* key = nullptr;
  std::size_t modulusBytes = 0;
};

class SslKey final : public ProviderKey {
 public:
  SslKey(std::shared_ptr<OpenSslLibrary> library, const std::uint8_t* keyBytes)
      : library_(std::move(library)), key_(keyBytes, kRc2KeySize) {}
  ~SslKey() override { Reset(); }

  // Asked before the first chunk: the chaining starts again here.
  bool FinalChunkSize(std::size_t length, std::size_t* size) override {
    Reset();
    *size = (length / kBlock + 1) * kBlock;
    return true;
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
      Reset();
      if (!Start(encrypt)) {
        Reset();
        return false;
      }
    }
    constexpr std::size_t kMaxPart = std::size_t{1} << 30;
    while (length > 0) {
      const std::size_t part = std::min(length, kMaxPart);
      int out = 0;
      if (EVP_CipherUpdate(ctx_, buffer, &out, buffer, static_cast<int>(part)) != 1 ||
          static_cast<std::size_t>(out) != part) {
        ERR_clear_error();
        return false;
      }
      buffer += part;
      length -= part;
    }
    return true;
  }

  bool Start(bool encrypt) {
    ctx_ = EVP_CIPHER_CTX_new();
    if (!ctx_) return false;
    encrypting_ = encrypt;
    const int enc = encrypt ? 1 : 0;
    // The effective length is part of the key schedule: set before the key.
    std::size_t bits = kRc2EffectiveBits;
    std::size_t keyLength = kRc2KeySize;
    const OSSL_PARAM params[] = {OSSL_PARAM_size_t(OSSL_CIPHER_PARAM_KEYLEN, &keyLength),
                                 OSSL_PARAM_size_t(OSSL_CIPHER_PARAM_RC2_KEYBITS, &bits), OSSL_PARAM_END};
    const std::uint8_t zeroIv[kBlock] = {};
    if (EVP_CipherInit_ex2(ctx_, library_->rc2, nullptr, nullptr, enc, params) != 1 ||
        EVP_CipherInit_ex2(ctx_, nullptr, key_.data(), zeroIv, enc, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx_, 0) != 1) {
      ERR_clear_error();
      return false;
    }
    return true;
  }

  void Reset() {
    EVP_CIPHER_CTX_free(ctx_);
    ctx_ = nullptr;
  }

  std::shared_ptr<OpenSslLibrary> library_;
  SecretBytes key_;
  EVP_CIPHER_CTX* ctx_ = nullptr;
  bool encrypting_ = false;
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
  library->context = OSSL_LIB_CTX_new();
  if (!library->context) {
    *error = "OpenSSL cannot make a library context.";
    return nullptr;
  }
  library->legacy = OSSL_PROVIDER_load(library->context, "legacy");
  library->base = OSSL_PROVIDER_load(library->context, "default");
  if (library->legacy) library->rc2 = EVP_CIPHER_fetch(library->context, "RC2-CBC", nullptr);
  if (library->base) library->sha1 = EVP_MD_fetch(library->context, "SHA1", nullptr);
  ERR_clear_error();
  if (!library->legacy || !library->rc2) {
    *error = "The RC2 cipher is not available: OpenSSL's legacy provider (legacy module) cannot be loaded from " +
             OpenSslModulesDirectory() + ".";
    return nullptr;
  }
  if (!library->base || !library->sha1) {
    *error = "SHA-1 and RSA are not available: OpenSSL's default provider cannot be loaded.";
    return nullptr;
  }
  return std::unique_ptr<OpenSslProvider>(new OpenSslProvider(std::move(library)));
}

OpenSslProvider::OpenSslProvider(std::shared_ptr<OpenSslLibrary> library) : library_(std::move(library)) {}
OpenSslProvider::~OpenSslProvider() = default;

bool OpenSslProvider::UseSignatureKey(std::string_view pem) {
  if (pair_) return false;
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  if (!bio) return false;
  EVP_PKEY* key = PEM_read_bio_PrivateKey_ex(bio, nullptr, nullptr, nullptr, library_->context, nullptr);
  BIO_free(bio);
  ERR_clear_error();
  if (!key || !EVP_PKEY_is_a(key, "RSA")) {
    EVP_PKEY_free(key);
    return false;
  }
  auto pair = std::make_unique<Pair>();
  pair->key = key;
  bool set = false;
  std::call_once(pairOnce_, [&] {
    pair_ = std::move(pair);
    set = true;
  });
  return set;
}

bool OpenSslProvider::EnsurePair() {
  std::call_once(pairOnce_, [this] {
    PkeyCtx ctx{EVP_PKEY_CTX_new_from_name(library_->context, "RSA", nullptr)};
    EVP_PKEY* key = nullptr;
    if (ctx.p && EVP_PKEY_keygen_init(ctx.p) == 1 && EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.p, kPairBits) == 1 &&
        EVP_PKEY_generate(ctx.p, &key) == 1) {
      pair_ = std::make_unique<Pair>();
      pair_->key = key;
    }
    ERR_clear_error();
  });
  return pair_ != nullptr;
}

std::unique_ptr<ProviderHash> OpenSslProvider::Hash(std::initializer_list<ByteView> parts) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (!ctx) return nullptr;
  auto hash = std::make_unique<SslHash>();
  hash->value = SecretBytes(kSha1Size);
  unsigned int size = 0;
  bool ok = EVP_DigestInit_ex2(ctx, library_->sha1, nullptr) == 1;
  for (const ByteView part : parts) ok = ok && EVP_DigestUpdate(ctx, part.data(), part.size()) == 1;
  ok = ok && EVP_DigestFinal_ex(ctx, hash->value.data(), &size) == 1 && size == kSha1Size;
  EVP_MD_CTX_free(ctx);
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
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  bool ok = EVP_PKEY_get_bn_param(pair_->key, OSSL_PKEY_PARAM_RSA_N, &n) == 1 &&
            EVP_PKEY_get_bn_param(pair_->key, OSSL_PKEY_PARAM_RSA_E, &e) == 1;
  blob::RsaPublic key;
  if (ok) {
    const int bytes = BN_num_bytes(n);
    const BN_ULONG exponent = BN_get_word(e);
    ok = bytes > 0 && exponent > 0 && exponent <= std::numeric_limits<std::uint32_t>::max();
    if (ok) {
      key.bits = static_cast<std::uint32_t>(bytes) * 8;
      key.exponent = static_cast<std::uint32_t>(exponent);
      key.modulusLe.resize(static_cast<std::size_t>(bytes));
      ok = BN_bn2lebinpad(n, key.modulusLe.data(), bytes) == bytes;
    }
  }
  BN_free(n);
  BN_free(e);
  ERR_clear_error();
  if (!ok) return false;
  *out = blob::Build(key);
  return true;
}

bool OpenSslProvider::Sign(ProviderHash& hash, std::vector<std::uint8_t>* signature) {
  if (!EnsurePair()) return false;
  const SecretBytes& digest = ValueOf(hash);
  PkeyCtx ctx{EVP_PKEY_CTX_new_from_pkey(library_->context, pair_->key, nullptr)};
  std::size_t size = 0;
  bool ok = ctx.p && EVP_PKEY_sign_init(ctx.p) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx.p, RSA_PKCS1_PADDING) == 1 &&
            EVP_PKEY_CTX_set_signature_md(ctx.p, library_->sha1) == 1 &&
            EVP_PKEY_sign(ctx.p, nullptr, &size, digest.data(), digest.size()) == 1;
  if (ok) {
    signature->assign(size, 0);
    ok = EVP_PKEY_sign(ctx.p, signature->data(), &size, digest.data(), digest.size()) == 1 &&
         size == static_cast<std::size_t>(EVP_PKEY_get_size(pair_->key));
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
  BIGNUM* n = BN_lebin2bn(parsed->modulusLe.data(), static_cast<int>(parsed->modulusLe.size()), nullptr);
  BIGNUM* e = BN_new();
  OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
  OSSL_PARAM* params = nullptr;
  auto key = std::make_unique<SslPublicKey>();
  key->modulusBytes = parsed->modulusLe.size();
  bool ok = n && e && build && BN_set_word(e, parsed->exponent) == 1 &&
            OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, n) == 1 &&
            OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_E, e) == 1 &&
            (params = OSSL_PARAM_BLD_to_param(build)) != nullptr;
  if (ok) {
    PkeyCtx ctx{EVP_PKEY_CTX_new_from_name(library_->context, "RSA", nullptr)};
    ok = ctx.p && EVP_PKEY_fromdata_init(ctx.p) == 1 &&
         EVP_PKEY_fromdata(ctx.p, &key->key, EVP_PKEY_PUBLIC_KEY, params) == 1;
  }
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(build);
  BN_free(e);
  BN_free(n);
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
  PkeyCtx ctx{EVP_PKEY_CTX_new_from_pkey(library_->context, key.key, nullptr)};
  const bool ok = ctx.p && EVP_PKEY_verify_recover_init(ctx.p) == 1 &&
                  EVP_PKEY_CTX_set_rsa_padding(ctx.p, RSA_PKCS1_PADDING) == 1 &&
                  EVP_PKEY_verify_recover(ctx.p, recovered.data(), &size, bigEndian.data(), bigEndian.size()) == 1;
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
