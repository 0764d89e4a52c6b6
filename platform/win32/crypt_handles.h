// Owners of CryptoAPI handles: provider context, key and hash.
#pragma once

#include <windows.h>
// wincrypt.h needs windows.h first.
#include <wincrypt.h>

#include "core/unique_any.h"

namespace ferrune {

struct ReleaseCryptContext {
  void operator()(HCRYPTPROV h) const { CryptReleaseContext(h, 0); }
};

using CryptProv = UniqueAny<HCRYPTPROV, ReleaseCryptContext>;
using CryptKey = UniqueAny<HCRYPTKEY, CallClose<&CryptDestroyKey>>;
using CryptHash = UniqueAny<HCRYPTHASH, CallClose<&CryptDestroyHash>>;

}  // namespace ferrune
