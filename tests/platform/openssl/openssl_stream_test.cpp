// The streaming cases over the OpenSSL provider.
#include "platform/openssl/openssl_provider.h"
#include "tests/core/provider_stream_cases.h"

namespace ferrune::testing {

std::unique_ptr<Provider> NewProviderUnderTest() {
  std::string error;
  return OpenSslProvider::Create(&error);
}

}  // namespace ferrune::testing
