// The platform registry behind the seam (advapi32, wide calls). Windows only.
#pragma once

#ifdef _WIN32
#include "shell/registry_api.h"

namespace ferrune {

// Stateless; lives for the whole process.
RegistryApi& PlatformRegistry();

}  // namespace ferrune
#endif
