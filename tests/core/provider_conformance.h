// The cases every provider behind the seam must pass, in two suites that a
// test program instantiates over a factory of its providers:
//
//   INSTANTIATE_TEST_SUITE_P(OpenSsl, ProviderBehaviour, ::testing::Values(ProviderMaker{"OpenSSL", &New}));
//
// ProviderBehaviour is what the core relies on of any provider, the fake one
// too. ProviderVectors are the Windows provider's known answers, which only
// the real ciphers give.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

#include "core/provider.h"
#include "tests/support/test_bytes.h"

namespace ferrune::testing {

struct ProviderMaker {
  const char* name;
  // A fresh provider with a signature pair of its own; null when there is none.
  std::shared_ptr<Provider> (*make)();
};

// Names the provider in the test's name, where its address would change with every run.
inline void PrintTo(const ProviderMaker& maker, std::ostream* out) { *out << maker.name; }

class ProviderCase : public ::testing::TestWithParam<ProviderMaker> {
 protected:
  void SetUp() override { ASSERT_TRUE(provider_) << "no provider"; }

  std::shared_ptr<Provider> provider_ = GetParam().make();
};

class ProviderBehaviour : public ProviderCase {};
class ProviderVectors : public ProviderCase {};

inline Bytes HashOf(Provider& provider, std::initializer_list<ByteView> parts) {
  auto hash = provider.Hash(parts);
  SecretBytes value;
  EXPECT_TRUE(hash && provider.HashValue(*hash, &value));
  return Bytes(value.data(), value.data() + value.size());
}

// One final call over everything, as a single CryptEncrypt.
inline Bytes EncryptOnce(Provider& provider, const Bytes& password, const Bytes& plain) {
  auto hash = provider.Hash({password});
  auto key = hash ? provider.DeriveKey(*hash) : nullptr;
  std::size_t size = 0;
  if (!key || !key->FinalChunkSize(plain.size(), &size)) {
    ADD_FAILURE() << "no key, or no size for " << plain.size() << " bytes";
    return {};
  }
  Bytes buffer = plain;
  buffer.resize(size);
  std::size_t out = 0;
  EXPECT_TRUE(key->Encrypt(buffer.data(), plain.size(), buffer.size(), true, &out));
  EXPECT_EQ(out, size);
  buffer.resize(out);
  return buffer;
}

inline bool DecryptOnce(Provider& provider, const Bytes& password, Bytes cipher, Bytes* plain) {
  auto hash = provider.Hash({password});
  auto key = hash ? provider.DeriveKey(*hash) : nullptr;
  std::size_t out = 0;
  if (!key || !key->Decrypt(cipher.data(), cipher.size(), true, &out)) return false;
  cipher.resize(out);
  *plain = cipher;
  return true;
}

}  // namespace ferrune::testing
