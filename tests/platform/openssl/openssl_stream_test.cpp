// The streaming cases over the OpenSSL provider.
#include "openssl_provider.h"
#include "provider_stream_cases.h"

namespace ferrune::testing {

std::unique_ptr<Provider> NewProviderUnderTest() {
  std::string error;
  return OpenSslProvider::Create(&error);
}

}  // namespace ferrune::testing
