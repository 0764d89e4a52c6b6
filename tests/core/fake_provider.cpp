#include "tests/core/fake_provider.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/le_bytes.h"

namespace ferrune::testing {
namespace {

constexpr std::size_t kDigestSize = 20;
constexpr std::uint8_t kBlobTag[4] = {'F', 'K', 'P', 'B'};

std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::uint64_t Load64(const std::uint8_t* p) { return LoadLe32(p) | std::uint64_t{LoadLe32(p + 4)} << 32; }
void Store64(std::uint8_t* p, std::uint64_t v) {
  StoreLe32(p, static_cast<std::uint32_t>(v));
  StoreLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

class FakeHash final : public ProviderHash {
 public:
  explicit FakeHash(std::vector<std::uint8_t> digest) : value(std::move(digest)) {}
  std::vector<std::uint8_t> value;
  bool spent = false;  // set by a verification
};

class FakeKey final : public ProviderKey {
 public:
  FakeKey(std::uint64_t key, FakeProvider& owner, std::uint64_t iv = 0, bool oneCall = false)
      : key_(key), owner_(owner), decryptChain_(iv), oneCall_(oneCall) {}

  // As CryptoAPI promises nothing about restarting a used key's chaining:
  // only an untouched key may be duplicated, and a duplicate serves one call.
  std::unique_ptr<ProviderKey> DuplicateAt(ByteView iv) override {
    if (used_ || iv.size() != 8) return nullptr;
    owner_.duplicates.fetch_add(1);
    return std::make_unique<FakeKey>(key_, owner_, Load64(iv.data()), true);
  }

  bool FinalChunkSize(std::size_t length, std::size_t* size) override {
    // Restarts the chain, as the real provider does on this question.
    encryptChain_ = 0;
    *size = (length / 8 + 1) * 8;
    return true;
  }

  bool Encrypt(std::uint8_t* buffer, std::size_t length, std::size_t capacity, bool final,
               std::size_t* outLength) override {
    if (owner_.encryptCalls.fetch_add(1) == owner_.failEncryptCall.load()) return false;
    if (!final && length % 8 != 0) return false;
    used_ = true;
    std::size_t total = length;
    if (final) {
      total = (length / 8 + 1) * 8;
      if (capacity < total) return false;
      std::fill(buffer + length, buffer + total, static_cast<std::uint8_t>(total - length));
    }
    for (std::size_t i = 0; i < total; i += 8) {
      const std::uint64_t c = FakeProvider::EncryptBlock(key_, Load64(buffer + i) ^ encryptChain_);
      Store64(buffer + i, c);
      encryptChain_ = c;
    }
    if (final) encryptChain_ = 0;
    *outLength = total;
    return true;
  }

  bool Decrypt(std::uint8_t* buffer, std::size_t length, bool final, std::size_t* outLength) override {
    if (length % 8 != 0 || (final && length == 0)) return false;
    if (oneCall_ && used_) return false;
    used_ = true;
    for (std::size_t i = 0; i < length; i += 8) {
      const std::uint64_t c = Load64(buffer + i);
      Store64(buffer + i, FakeProvider::DecryptBlock(key_, c) ^ decryptChain_);
      decryptChain_ = c;
    }
    *outLength = length;
    if (!final) return true;
    decryptChain_ = 0;
    const std::uint8_t pad = buffer[length - 1];
    if (pad < 1 || pad > 8) return false;
    for (std::size_t i = length - pad; i < length; ++i) {
      if (buffer[i] != pad) return false;
    }
    *outLength = length - pad;
    return true;
  }

 private:
  const std::uint64_t key_;
  FakeProvider& owner_;
  std::uint64_t encryptChain_ = 0;
  std::uint64_t decryptChain_ = 0;
  const bool oneCall_;
  std::atomic<bool> used_{false};
};

class FakePublicKey final : public ProviderPublicKey {
 public:
  explicit FakePublicKey(std::uint64_t pair) : id(pair) {}
  std::uint64_t id;
};

}  // namespace

std::uint64_t FakeProvider::KeyFor(ByteView password) { return Load64(Digest(password).data()); }
std::uint64_t FakeProvider::EncryptBlock(std::uint64_t key, std::uint64_t x) { return std::rotl(x ^ key, 17) + key; }
std::uint64_t FakeProvider::DecryptBlock(std::uint64_t key, std::uint64_t c) { return std::rotr(c - key, 17) ^ key; }

std::vector<std::uint8_t> FakeProvider::Digest(ByteView data) {
  std::uint64_t lanes[3] = {0x1234, 0x5678, 0x9ABC};
  for (const std::uint8_t b : data) {
    for (auto& lane : lanes) lane = Mix(lane ^ b) + 1;
  }
  std::vector<std::uint8_t> out(24);
  for (int i = 0; i < 3; ++i) Store64(out.data() + 8 * i, Mix(lanes[i] ^ data.size()));
  out.resize(kDigestSize);
  return out;
}

std::vector<std::uint8_t> FakeProvider::BlobFor(std::uint64_t pairId) {
  std::vector<std::uint8_t> blob(std::begin(kBlobTag), std::end(kBlobTag));
  blob.resize(12);
  Store64(blob.data() + 4, pairId);
  return blob;
}

std::vector<std::uint8_t> FakeProvider::SignatureFor(std::uint64_t pairId, ByteView digest) {
  std::vector<std::uint8_t> signature(digest.begin(), digest.end());
  for (std::size_t i = 0; i < signature.size(); ++i) signature[i] ^= static_cast<std::uint8_t>(Mix(pairId + i));
  return signature;
}

std::vector<std::uint8_t> FakeProvider::EncryptWhole(ByteView password, ByteView plain) {
  FakeProvider provider;
  auto hash = provider.Hash({password});
  auto key = provider.DeriveKey(*hash);
  std::vector<std::uint8_t> buffer(plain.begin(), plain.end());
  buffer.resize(plain.size() + 8);
  std::size_t length = 0;
  if (!key->Encrypt(buffer.data(), plain.size(), buffer.size(), true, &length)) return {};
  buffer.resize(length);
  return buffer;
}

std::unique_ptr<ProviderHash> FakeProvider::Hash(std::initializer_list<ByteView> parts) {
  std::vector<std::uint8_t> all;
  for (const ByteView part : parts) all.insert(all.end(), part.begin(), part.end());
  return std::make_unique<FakeHash>(Digest(all));
}

bool FakeProvider::HashValue(ProviderHash& hash, SecretBytes* value) {
  auto& h = static_cast<FakeHash&>(hash);
  if (h.spent) return false;
  *value = SecretBytes(h.value.data(), h.value.size());
  return true;
}

std::unique_ptr<ProviderKey> FakeProvider::DeriveKey(ProviderHash& hash) {
  auto& h = static_cast<FakeHash&>(hash);
  if (h.spent) return nullptr;
  return std::make_unique<FakeKey>(Load64(h.value.data()), *this);
}

bool FakeProvider::ExportSignaturePublicKey(std::vector<std::uint8_t>* blob) {
  if (failExport) return false;
  *blob = BlobFor(pairId);
  return true;
}

bool FakeProvider::Sign(ProviderHash& hash, std::vector<std::uint8_t>* signature) {
  auto& h = static_cast<FakeHash&>(hash);
  if (h.spent) return false;
  *signature = emptySignature ? std::vector<std::uint8_t>{} : SignatureFor(pairId, h.value);
  return true;
}

std::unique_ptr<ProviderPublicKey> FakeProvider::ImportPublicKey(ByteView blob) {
  if (blob.size() != 12 || !std::equal(std::begin(kBlobTag), std::end(kBlobTag), blob.begin())) return nullptr;
  return std::make_unique<FakePublicKey>(Load64(blob.data() + 4));
}

bool FakeProvider::Verify(ProviderHash& hash, ByteView signature, ProviderPublicKey& key) {
  auto& h = static_cast<FakeHash&>(hash);
  if (h.spent) return false;
  h.spent = true;
  const auto expected = SignatureFor(static_cast<FakePublicKey&>(key).id, h.value);
  return std::equal(expected.begin(), expected.end(), signature.begin(), signature.end());
}

}  // namespace ferrune::testing
