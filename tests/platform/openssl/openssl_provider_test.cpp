// The OpenSSL provider against bytes the Windows provider produced or must
// accept: the RC2 vectors of the notes and of Wine's test suite, signatures
// made on Windows, a fixed key whose blob and signature come from the openssl
// command line, and the import rules of the Windows provider.
#include <gtest/gtest.h>

#include "openssl_provider.h"
#include "public_key_blob.h"
#include "signature_vector.h"
#include "test_bytes.h"

namespace ferrune::testing {
namespace {

std::unique_ptr<OpenSslProvider> NewProvider() {
  std::string error;
  auto provider = OpenSslProvider::Create(&error);
  EXPECT_TRUE(provider) << error;
  return provider;
}

Bytes HashOf(Provider& provider, std::initializer_list<ByteView> parts) {
  auto hash = provider.Hash(parts);
  SecretBytes value;
  EXPECT_TRUE(hash && provider.HashValue(*hash, &value));
  return Bytes(value.data(), value.data() + value.size());
}

// One final call over everything, as a single CryptEncrypt.
Bytes EncryptOnce(Provider& provider, const Bytes& password, const Bytes& plain) {
  auto hash = provider.Hash({password});
  auto key = provider.DeriveKey(*hash);
  std::size_t size = 0;
  EXPECT_TRUE(key->FinalChunkSize(plain.size(), &size));
  Bytes buffer = plain;
  buffer.resize(size);
  std::size_t out = 0;
  EXPECT_TRUE(key->Encrypt(buffer.data(), plain.size(), buffer.size(), true, &out));
  EXPECT_EQ(out, size);
  buffer.resize(out);
  return buffer;
}

bool DecryptOnce(Provider& provider, const Bytes& password, Bytes cipher, Bytes* plain) {
  auto hash = provider.Hash({password});
  auto key = provider.DeriveKey(*hash);
  std::size_t out = 0;
  if (!key->Decrypt(cipher.data(), cipher.size(), true, &out)) return false;
  cipher.resize(out);
  *plain = cipher;
  return true;
}

TEST(OpenSslRc2, MatchesTheWindowsProvidersVectors) {
  auto provider = NewProvider();
  struct Vector {
    Bytes password;
    const char* sha1;
    Bytes plain;
    const char* cipher;
  } vectors[] = {
      {TextBytes("secret"), "e5e9fa1ba31ecd1ae84f75caaa474f3a663f05f4", TextBytes("hello world"),
       "c4b117697029d05bfb0dc11b4e79ba29"},
      {TextBytes("password"), "5baa61e4c9b93f3f0682250b6cf8331b7ee68fd8", {}, "0d28f4b8d5a79b85"},
      {FromHex("70e4737377f67264"), "798c481d8ec06c08915eb09639f9c210131fa4bf", TextBytes("ABCDEFGH"),
       "50f679c9e38704b27530fb974dfcbca2"},
      {TextBytes("correct horse battery staple"), "abf7aad6438836dbe526aa231abde2d0eef74d42",
       FromHex("303132333435363738394142434445463031323334"), "ff8bcbe5b800b1451440b81e1e401df96d64ede400926892"},
  };
  for (const Vector& v : vectors) {
    SCOPED_TRACE(v.sha1);
    EXPECT_EQ(ToHex(HashOf(*provider, {v.password})), v.sha1);
    EXPECT_EQ(ToHex(EncryptOnce(*provider, v.password, v.plain)), v.cipher);
    Bytes plain;
    ASSERT_TRUE(DecryptOnce(*provider, v.password, FromHex(v.cipher), &plain));
    EXPECT_EQ(plain, v.plain);
  }
}

TEST(OpenSslRc2, MatchesWinesKeyDerivationVectorAndItsSha1) {
  auto provider = NewProvider();
  // test_key_derivation #39: 512 bytes j + 39, the key from their SHA-1.
  Bytes data(512);
  for (std::size_t j = 0; j < data.size(); ++j) data[j] = static_cast<std::uint8_t>(j + 39);
  EXPECT_EQ(ToHex(HashOf(*provider, {data})), "42bdb8f2b5c2286485988e49e6dc9280cdc16300");
  EXPECT_EQ(ToHex(EncryptOnce(*provider, data, FromHex("2728292a"))), "ccfb1a4d29ad3e65");

  Bytes counting(2048);
  for (std::size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(ToHex(HashOf(*provider, {counting})), "f10ccfde60c17db26e7d85d35665c7661dbbeb2c");
  // Parts are hashed in order, as one stream.
  const Bytes front(counting.begin(), counting.begin() + 1000);
  const Bytes back(counting.begin() + 1000, counting.end());
  EXPECT_EQ(ToHex(HashOf(*provider, {front, back})), "f10ccfde60c17db26e7d85d35665c7661dbbeb2c");
  EXPECT_EQ(ToHex(HashOf(*provider, {})), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(OpenSslRc2, ChunksGiveTheOneCallBytesAndTheKeyIsReusable) {
  auto provider = NewProvider();
  const Bytes password = TextBytes("chunky");
  const Bytes plain = RandomBytes(100000, 3);
  const Bytes whole = EncryptOnce(*provider, password, plain);
  auto hash = provider->Hash({password});
  auto key = provider->DeriveKey(*hash);
  for (const std::size_t chunk : {std::size_t{8}, std::size_t{64}, std::size_t{4096}, std::size_t{65536}}) {
    SCOPED_TRACE(chunk);
    std::size_t size = 0;
    ASSERT_TRUE(key->FinalChunkSize(plain.size() % chunk, &size));
    Bytes out;
    for (std::size_t done = 0; done < plain.size();) {
      const std::size_t length = std::min(chunk, plain.size() - done);
      const bool final = done + length == plain.size();
      Bytes buffer(plain.begin() + static_cast<std::ptrdiff_t>(done),
                   plain.begin() + static_cast<std::ptrdiff_t>(done + length));
      buffer.resize(length + 8);
      std::size_t got = 0;
      ASSERT_TRUE(key->Encrypt(buffer.data(), length, buffer.size(), final, &got));
      out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
      done += length;
    }
    EXPECT_EQ(out, whole);
    // Decrypting in chunks with the same key object gives the plain bytes back.
    Bytes back;
    for (std::size_t done = 0; done < out.size(); done += chunk) {
      const std::size_t length = std::min(chunk, out.size() - done);
      Bytes buffer(out.begin() + static_cast<std::ptrdiff_t>(done),
                   out.begin() + static_cast<std::ptrdiff_t>(done + length));
      std::size_t got = 0;
      ASSERT_TRUE(key->Decrypt(buffer.data(), length, done + length == out.size(), &got));
      back.insert(back.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
    }
    EXPECT_EQ(back, plain);
  }
}

TEST(OpenSslRc2, RefusesWhatTheWindowsProviderRefuses) {
  auto provider = NewProvider();
  const Bytes password = TextBytes("secret");
  auto hash = provider->Hash({password});
  auto key = provider->DeriveKey(*hash);
  Bytes cipher = EncryptOnce(*provider, password, TextBytes("twenty bytes of text"));
  ASSERT_EQ(cipher.size(), 24u);
  std::size_t out = 0;
  Bytes buffer = cipher;
  EXPECT_FALSE(key->Decrypt(buffer.data(), 0, true, &out));
  EXPECT_FALSE(key->Decrypt(buffer.data(), 20, true, &out));
  EXPECT_FALSE(key->Decrypt(buffer.data(), 23, false, &out));
  // A flipped last byte is bad padding; the key is usable again afterwards.
  buffer = cipher;
  buffer.back() ^= 1;
  EXPECT_FALSE(key->Decrypt(buffer.data(), buffer.size(), true, &out));
  buffer = cipher;
  ASSERT_TRUE(key->Decrypt(buffer.data(), buffer.size(), true, &out));
  EXPECT_EQ(out, 20u);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 20), "twenty bytes of text");
  // Another password's key finds no valid padding.
  Bytes wrong;
  EXPECT_FALSE(DecryptOnce(*provider, TextBytes("Secret"), cipher, &wrong));
  // Not whole blocks before the final chunk, and no room for the padding.
  buffer.assign(16, 0);
  EXPECT_FALSE(key->Encrypt(buffer.data(), 7, buffer.size(), false, &out));
  EXPECT_FALSE(key->Encrypt(buffer.data(), 8, 8, true, &out));
  EXPECT_TRUE(key->Encrypt(buffer.data(), 8, 16, true, &out));
  EXPECT_EQ(out, 16u);
}

class Signatures : public ::testing::Test {
 protected:
  std::unique_ptr<OpenSslProvider> provider_ = NewProvider();
};

// From Wine's test_verify_signature, made on Windows.
const char kWineBlob[] =
    "060200000024000052534131000400000100010071649f19891c21cc36a3c927088a09c6beebd3f819a99257e4b95dda8893e46b387714"
    "8a96c0b64e42f501dcf0eb3cc77bc4fd7cde93340a92e5979c3e65b8912fe3f389cd6c26a46cc76d0b2ca20b29e2fc30fa20db4cb891b8"
    "69639641c2b460ebcdff3a1f94b123cf0f49add5338571af128784efa0eae1c1d4c7e12150ac";
const char kWineSignatureWithOid[] =
    "5a4c66c93067cb913c4dd58dea4e85cdd9683af3243c99242532933dd62f86942309ee02d415dc5f0e4445135f185d1ad70bd123d63598"
    "5257457492e350b420282a11bf49b42cc5d41a274edfa0b57ac814dd9bb6cad6ffb26bd8986780ab5352bbe12ace792f005326d8a743ca"
    "720e6897377187c26a98bb6ca001ff049da6";
const char kWineSignatureWithoutOid[] =
    "86a62b9a04da47c64f978a8af4fa631a328956413791152f2d1c8fdc8840bb373e06331bdeda7c659135ca45170e24be9ef64e8aa43eca"
    "e61136b83af0de71feddb3cb6c39e05f0c9ea840269c81e9c41590bf4fd2c1a18052fdf63d991b9c8a271b0c9af3f9a2003e5bdfc2b471"
    "a5bdf8ae63bb4ac9dd67c13e93eef11f245b";

TEST_F(Signatures, SignaturesMadeOnWindowsVerifyAsThereAndNothingElseDoes) {
  const Bytes data = {'W', 'i', 'n', 'e', ' ', 'r', 'o', 'c', 'k', 's', '!', 0};
  auto key = provider_->ImportPublicKey(FromHex(kWineBlob));
  ASSERT_TRUE(key);
  const auto verifies = [&](const Bytes& signed_data, const Bytes& signature) {
    auto hash = provider_->Hash({signed_data});
    return provider_->Verify(*hash, signature, *key);
  };
  EXPECT_TRUE(verifies(data, FromHex(kWineSignatureWithOid)));
  EXPECT_TRUE(verifies(data, FromHex(kWineSignatureWithoutOid)));
  Bytes flipped = FromHex(kWineSignatureWithOid);
  flipped[5] ^= 0x10;
  EXPECT_FALSE(verifies(data, flipped));
  Bytes other = data;
  other[0] = 'w';
  EXPECT_FALSE(verifies(other, FromHex(kWineSignatureWithOid)));
  // Big-endian, as OpenSSL itself would write it: not the Windows form.
  Bytes reversed = FromHex(kWineSignatureWithOid);
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_FALSE(verifies(data, reversed));
  // The length must be the modulus length.
  Bytes shorter = FromHex(kWineSignatureWithOid);
  shorter.pop_back();
  EXPECT_FALSE(verifies(data, shorter));
  Bytes longer = FromHex(kWineSignatureWithOid);
  longer.push_back(0);
  EXPECT_FALSE(verifies(data, longer));
  EXPECT_FALSE(verifies(data, {}));
}

TEST_F(Signatures, AFixedKeyGivesTheBlobAndSignatureTheOpensslCommandGave) {
  ASSERT_TRUE(provider_->UseSignatureKey(vectors::kFixedKeyPem));
  std::vector<std::uint8_t> blob;
  ASSERT_TRUE(provider_->ExportSignaturePublicKey(&blob));
  EXPECT_EQ(ToHex(blob), vectors::kFixedKeyBlob);
  const Bytes passwordHash = HashOf(*provider_, {TextBytes(vectors::kFixedKeyPassword)});
  auto bound = provider_->Hash({blob, passwordHash});
  std::vector<std::uint8_t> signature;
  ASSERT_TRUE(provider_->Sign(*bound, &signature));
  EXPECT_EQ(ToHex(signature), vectors::kFixedKeySignature);
  EXPECT_FALSE(provider_->UseSignatureKey(vectors::kFixedKeyPem));
}

TEST_F(Signatures, EachProviderMakesItsOwn1024BitPairInTheWindowsLayout) {
  std::vector<std::uint8_t> blob;
  ASSERT_TRUE(provider_->ExportSignaturePublicKey(&blob));
  ASSERT_EQ(blob.size(), 148u);
  EXPECT_EQ(ToHex(Bytes(blob.begin(), blob.begin() + 20)), "0602000000240000525341310004000001000100");
  EXPECT_EQ(blob[20] & 1, 1);  // an RSA modulus is odd: least significant byte first
  EXPECT_GE(blob[147], 0x80);  // and its top bit is set: most significant byte last
  std::vector<std::uint8_t> again;
  ASSERT_TRUE(provider_->ExportSignaturePublicKey(&again));
  EXPECT_EQ(again, blob);
  std::vector<std::uint8_t> other;
  ASSERT_TRUE(NewProvider()->ExportSignaturePublicKey(&other));
  EXPECT_NE(other, blob);

  auto hash = provider_->Hash({TextBytes("data")});
  std::vector<std::uint8_t> signature;
  ASSERT_TRUE(provider_->Sign(*hash, &signature));
  EXPECT_EQ(signature.size(), 128u);
  auto key = provider_->ImportPublicKey(blob);
  ASSERT_TRUE(key);
  EXPECT_TRUE(provider_->Verify(*hash, signature, *key));
  auto otherKey = provider_->ImportPublicKey(other);
  ASSERT_TRUE(otherKey);
  EXPECT_FALSE(provider_->Verify(*hash, signature, *otherKey));
}

TEST_F(Signatures, BlobsAreImportedUnderTheWindowsProvidersRules) {
  const Bytes good = FromHex(kWineBlob);
  const auto with = [&](std::size_t offset, std::uint8_t value) {
    Bytes b = good;
    b[offset] = value;
    return b;
  };
  const auto imports = [&](const Bytes& b) { return provider_->ImportPublicKey(b) != nullptr; };
  EXPECT_TRUE(imports(good));
  Bytes extra = good;
  extra.insert(extra.end(), {1, 2, 3});
  EXPECT_TRUE(imports(extra));
  EXPECT_TRUE(imports(with(5, 0xA4)));   // an exchange key verifies too
  EXPECT_FALSE(imports(with(1, 0x03)));  // version
  EXPECT_FALSE(imports(with(2, 0x01)));  // reserved
  EXPECT_FALSE(imports(with(0, 0x07)));  // private key blob type
  EXPECT_FALSE(imports(with(11, '2')));  // RSA2
  Bytes rc2 = good;
  rc2[4] = 0x02;
  rc2[5] = 0x66;
  EXPECT_FALSE(imports(rc2));
  EXPECT_FALSE(imports(with(5, 0x00)));  // no algorithm
  Bytes odd = good;
  odd[12] = 0xFC;  // 1020 bits
  odd[13] = 0x03;
  EXPECT_FALSE(imports(odd));
  EXPECT_FALSE(imports(Bytes(good.begin(), good.end() - 1)));
  EXPECT_FALSE(imports(Bytes(good.begin(), good.begin() + 20)));
  EXPECT_FALSE(imports({}));
  Bytes huge = good;
  huge[12] = 0x08;  // 2^31 + 1024 bits
  huge[15] = 0x80;
  EXPECT_FALSE(imports(huge));
}

TEST(OpenSslLegacy, AMissingLegacyModuleIsNamedAndNothingIsMade) {
  const char* saved = std::getenv("OPENSSL_MODULES");
  const std::string previous = saved ? saved : "";
  setenv("OPENSSL_MODULES", "/nonexistent-ferrune-modules", 1);
  std::string error;
  auto provider = OpenSslProvider::Create(&error);
  if (saved) {
    setenv("OPENSSL_MODULES", previous.c_str(), 1);
  } else {
    unsetenv("OPENSSL_MODULES");
  }
  EXPECT_FALSE(provider);
  EXPECT_NE(error.find("legacy"), std::string::npos) << error;
  EXPECT_NE(error.find("/nonexistent-ferrune-modules"), std::string::npos) << error;
}

}  // namespace
}  // namespace ferrune::testing
