// The cases of provider_stream_cases.cpp run over the provider that each
// platform's test program makes here.
#pragma once

#include <memory>

#include "core/provider.h"

namespace ferrune::testing {

// Null when the platform cannot give one (the test then fails).
std::unique_ptr<Provider> NewProviderUnderTest();

}  // namespace ferrune::testing
