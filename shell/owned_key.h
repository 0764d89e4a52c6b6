// One open registry key, closed through its seam when the owner goes.
#pragma once

#include "core/unique_any.h"
#include "shell/registry_api.h"

namespace ferrune {

// A plain close; nothing to do with a failed close but forget the handle.
struct CloseThroughSeam {
  RegistryApi* api = nullptr;
  void operator()(RegHandle key) const { api->CloseKey(key); }
};

using OwnedKey = UniqueAny<RegHandle, CloseThroughSeam>;

inline OwnedKey OwnKey(RegistryApi& api, RegHandle key) { return OwnedKey(key, CloseThroughSeam{&api}); }

}  // namespace ferrune
