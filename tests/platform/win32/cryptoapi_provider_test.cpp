// The provider cases over CryptoAPI under Wine, each provider on a verify-only
// context with a signature pair of its own.
#include "platform/win32/cryptoapi_provider.h"
#include "tests/core/provider_conformance.h"
#include "tests/platform/win32/win_support.h"

namespace ferrune::testing {
namespace {

std::shared_ptr<Provider> NewCryptoApiProvider() {
  struct Owned {
    EphemeralContext context;
    CryptoApiProvider provider{context.get()};
  };
  auto owned = std::make_shared<Owned>();
  if (owned->context.get() == 0) return nullptr;
  return std::shared_ptr<Provider>(owned, &owned->provider);
}

const ProviderMaker kCryptoApi{"CryptoAPI", &NewCryptoApiProvider};

}  // namespace

INSTANTIATE_TEST_SUITE_P(CryptoApi, ProviderVectors, ::testing::Values(kCryptoApi));
INSTANTIATE_TEST_SUITE_P(CryptoApi, ProviderBehaviour, ::testing::Values(kCryptoApi));

}  // namespace ferrune::testing
