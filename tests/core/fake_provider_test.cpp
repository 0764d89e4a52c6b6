// The provider cases that hold for any provider, over the fake one. Its toy
// cipher gives none of the Windows provider's known answers.
#include <atomic>

#include "tests/core/fake_provider.h"
#include "tests/core/provider_conformance.h"

namespace ferrune::testing {
namespace {

std::shared_ptr<Provider> NewFakeProvider() {
  static std::atomic<std::uint64_t> pairs{100};
  auto provider = std::make_shared<FakeProvider>();
  provider->pairId = pairs++;  // a pair of its own
  return provider;
}

const ProviderMaker kFake{"fake", &NewFakeProvider};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Fake, ProviderBehaviour, ::testing::Values(kFake));

}  // namespace ferrune::testing
