// The Windows provider's known answers: RC2 and SHA-1 vectors, Wine's key
// derivation vector, a signature made on Windows, the layout of the pair a
// provider makes and the rules for importing a key blob.
#include <algorithm>

#include "tests/core/provider_conformance.h"
#include "tests/support/rc2_vectors.h"

namespace ferrune::testing {
namespace {

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

}  // namespace

TEST_P(ProviderVectors, Rc2AndSha1GiveTheWindowsProvidersBytes) {
  for (const vectors::Rc2Vector& v : vectors::kRc2) {
    SCOPED_TRACE(v.sha1);
    const Bytes password = TextBytes(v.password);
    EXPECT_EQ(ToHex(HashOf(*provider_, {password})), v.sha1);
    EXPECT_EQ(ToHex(EncryptOnce(*provider_, password, FromHex(v.plain))), v.cipher);
    Bytes plain;
    ASSERT_TRUE(DecryptOnce(*provider_, password, FromHex(v.cipher), &plain));
    EXPECT_EQ(plain, FromHex(v.plain));
  }
}

TEST_P(ProviderVectors, WinesKeyDerivationVectorAndSha1Values) {
  // test_key_derivation #39: 512 bytes j + 39, the key from their SHA-1.
  Bytes data(512);
  for (std::size_t j = 0; j < data.size(); ++j) data[j] = static_cast<std::uint8_t>(j + 39);
  EXPECT_EQ(ToHex(HashOf(*provider_, {data})), "42bdb8f2b5c2286485988e49e6dc9280cdc16300");
  EXPECT_EQ(ToHex(EncryptOnce(*provider_, data, FromHex("2728292a"))), "ccfb1a4d29ad3e65");

  Bytes counting(2048);
  for (std::size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(ToHex(HashOf(*provider_, {counting})), "f10ccfde60c17db26e7d85d35665c7661dbbeb2c");
  EXPECT_EQ(ToHex(HashOf(*provider_, {})), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(ToHex(HashOf(*provider_, {Bytes{}})), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST_P(ProviderVectors, ASignatureMadeOnWindowsVerifiesAsThereAndNothingElseDoes) {
  const Bytes message = {'W', 'i', 'n', 'e', ' ', 'r', 'o', 'c', 'k', 's', '!', 0};
  const Bytes blob = FromHex(kWineBlob);
  auto key = provider_->ImportPublicKey(blob);
  ASSERT_TRUE(key);
  const auto verifies = [&](std::initializer_list<ByteView> parts, const Bytes& signature) {
    auto hash = provider_->Hash(parts);
    return hash && provider_->Verify(*hash, signature, *key);
  };
  EXPECT_EQ(ToHex(HashOf(*provider_, {message})), "2474da422089b78d47ad30f9266858c566a45167");
  EXPECT_TRUE(verifies({message}, FromHex(kWineSignatureWithOid)));
  EXPECT_TRUE(verifies({message}, FromHex(kWineSignatureWithoutOid)));
  EXPECT_TRUE(verifies({Bytes{'W', 'i', 'n', 'e'}, Bytes{' ', 'r', 'o', 'c', 'k', 's', '!', 0}},
                       FromHex(kWineSignatureWithOid)))
      << "parts are hashed in order as one message";
  EXPECT_FALSE(verifies({Bytes{'W', 'i', 'n', 'e'}}, FromHex(kWineSignatureWithOid)));
  Bytes flipped = FromHex(kWineSignatureWithOid);
  flipped[5] ^= 0x10;
  EXPECT_FALSE(verifies({message}, flipped));
  Bytes other = message;
  other[0] = 'w';
  EXPECT_FALSE(verifies({other}, FromHex(kWineSignatureWithOid)));
  // Big-endian, as OpenSSL itself would write it: not the Windows form.
  Bytes reversed = FromHex(kWineSignatureWithOid);
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_FALSE(verifies({message}, reversed));
  // The length must be the modulus length.
  Bytes shorter = FromHex(kWineSignatureWithOid);
  shorter.pop_back();
  EXPECT_FALSE(verifies({message}, shorter));
  Bytes longer = FromHex(kWineSignatureWithOid);
  longer.push_back(0);
  EXPECT_FALSE(verifies({message}, longer));
  EXPECT_FALSE(verifies({message}, {}));
  EXPECT_FALSE(provider_->ImportPublicKey(Bytes(blob.begin(), blob.begin() + 100))) << "short blob";
}

TEST_P(ProviderVectors, TheOwnPairIs1024BitsInTheWindowsLayout) {
  std::vector<std::uint8_t> blob;
  ASSERT_TRUE(provider_->ExportSignaturePublicKey(&blob));
  ASSERT_EQ(blob.size(), 148u);
  EXPECT_EQ(ToHex(Bytes(blob.begin(), blob.begin() + 20)), "0602000000240000525341310004000001000100");
  EXPECT_EQ(blob[20] & 1, 1);  // an RSA modulus is odd: least significant byte first
  EXPECT_GE(blob[147], 0x80);  // and its top bit is set: most significant byte last
  std::vector<std::uint8_t> signature;
  ASSERT_TRUE(provider_->Sign(*provider_->Hash({TextBytes("data")}), &signature));
  EXPECT_EQ(signature.size(), 128u);
}

TEST_P(ProviderVectors, BlobsAreImportedUnderTheWindowsProvidersRules) {
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

}  // namespace ferrune::testing
