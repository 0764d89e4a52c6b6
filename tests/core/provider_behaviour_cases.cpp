// What the core relies on of every provider: chunks that give the bytes of
// one call, the refusals the Windows provider makes, hashes over parts, and
// a signature pair of each provider's own.
#include <algorithm>

#include "tests/core/provider_conformance.h"

namespace ferrune::testing {

TEST_P(ProviderBehaviour, ChunksGiveTheOneCallBytesAndTheKeyIsReusable) {
  const Bytes password = TextBytes("chunky");
  const Bytes plain = RandomBytes(100000, 3);
  const Bytes whole = EncryptOnce(*provider_, password, plain);
  auto hash = provider_->Hash({password});
  auto key = provider_->DeriveKey(*hash);
  ASSERT_TRUE(key);
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

TEST_P(ProviderBehaviour, RefusesWhatTheWindowsProviderRefuses) {
  const Bytes password = TextBytes("secret");
  auto hash = provider_->Hash({password});
  auto key = provider_->DeriveKey(*hash);
  ASSERT_TRUE(key);
  Bytes cipher = EncryptOnce(*provider_, password, TextBytes("twenty bytes of text"));
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
  EXPECT_FALSE(DecryptOnce(*provider_, TextBytes("Secret"), cipher, &wrong));
  // Not whole blocks before the final chunk, and no room for the padding.
  buffer.assign(16, 0);
  EXPECT_FALSE(key->Encrypt(buffer.data(), 7, buffer.size(), false, &out));
  EXPECT_FALSE(key->Encrypt(buffer.data(), 8, 8, true, &out));
  EXPECT_TRUE(key->Encrypt(buffer.data(), 8, 16, true, &out));
  EXPECT_EQ(out, 16u);
}

TEST_P(ProviderBehaviour, PartsAreHashedInOrderAsOneStream) {
  Bytes counting(2048);
  for (std::size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<std::uint8_t>(i);
  const Bytes front(counting.begin(), counting.begin() + 1000);
  const Bytes back(counting.begin() + 1000, counting.end());
  EXPECT_EQ(HashOf(*provider_, {front, back}), HashOf(*provider_, {counting}));
}

TEST_P(ProviderBehaviour, EachProviderSignsWithAPairOfItsOwn) {
  std::vector<std::uint8_t> blob;
  ASSERT_TRUE(provider_->ExportSignaturePublicKey(&blob));
  std::vector<std::uint8_t> again;
  ASSERT_TRUE(provider_->ExportSignaturePublicKey(&again));
  EXPECT_EQ(again, blob);
  const std::shared_ptr<Provider> another = GetParam().make();
  ASSERT_TRUE(another);
  std::vector<std::uint8_t> other;
  ASSERT_TRUE(another->ExportSignaturePublicKey(&other));
  EXPECT_NE(other, blob);

  // A hash may only be destroyed after a verification: a fresh one for each.
  const Bytes data = TextBytes("data");
  std::vector<std::uint8_t> signature;
  ASSERT_TRUE(provider_->Sign(*provider_->Hash({data}), &signature));
  auto key = provider_->ImportPublicKey(blob);
  ASSERT_TRUE(key);
  EXPECT_TRUE(provider_->Verify(*provider_->Hash({data}), signature, *key));
  auto otherKey = provider_->ImportPublicKey(other);
  ASSERT_TRUE(otherKey);
  EXPECT_FALSE(provider_->Verify(*provider_->Hash({data}), signature, *otherKey));
}

}  // namespace ferrune::testing
