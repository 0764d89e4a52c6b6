// The OpenSSL provider: the provider cases, which hold the bytes the Windows
// provider produces or must accept, and what only this provider has: a fixed
// key whose blob and signature come from the openssl command line, and the
// message when the legacy module is missing.
#include <gtest/gtest.h>

#include "platform/openssl/openssl_provider.h"
#include "tests/core/provider_conformance.h"
#include "tests/support/signature_vector.h"
#include "tests/support/test_bytes.h"

namespace ferrune::testing {
namespace {

std::unique_ptr<OpenSslProvider> NewProvider() {
  std::string error;
  auto provider = OpenSslProvider::Create(&error);
  EXPECT_TRUE(provider) << error;
  return provider;
}

std::shared_ptr<Provider> NewSharedProvider() { return NewProvider(); }
const ProviderMaker kOpenSsl{"OpenSSL", &NewSharedProvider};

class Signatures : public ::testing::Test {
 protected:
  std::unique_ptr<OpenSslProvider> provider_ = NewProvider();
};

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

INSTANTIATE_TEST_SUITE_P(OpenSsl, ProviderVectors, ::testing::Values(kOpenSsl));
INSTANTIATE_TEST_SUITE_P(OpenSsl, ProviderBehaviour, ::testing::Values(kOpenSsl));

}  // namespace ferrune::testing
