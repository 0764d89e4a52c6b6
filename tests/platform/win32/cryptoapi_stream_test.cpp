// The streaming cases over CryptoAPI under Wine.
#include "platform/win32/cryptoapi_provider.h"
#include "tests/core/provider_stream_cases.h"
#include "tests/platform/win32/win_support.h"

namespace ferrune::testing {

std::unique_ptr<Provider> NewProviderUnderTest() {
  // The context outlives every provider made on it.
  static const EphemeralContext context;
  if (context.get() == 0) return nullptr;
  return std::make_unique<CryptoApiProvider>(context.get());
}

}  // namespace ferrune::testing
