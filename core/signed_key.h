// The signature pair's public key blob and its signature, as a file stores
// them after its header: made by an encryption, checked by a decryption
// before anything is written.
#pragma once

#include <cstdint>
#include <vector>

#include "core/file_system.h"
#include "core/format.h"
#include "core/outcome.h"
#include "core/provider.h"
#include "core/secret_bytes.h"

namespace ferrune {

struct SignedKey {
  std::vector<std::uint8_t> blob;
  std::vector<std::uint8_t> signature;
};

// The signature covers SHA-1(key blob || password hash), never the password
// hash alone: the public key beside it would give that hash, and so the RC2
// key, back to anyone.
Outcome MakeSignedKey(Provider& provider, const SecretBytes& passwordHashValue, SignedKey* out);

// Reads both from `source` where `layout` puts them, imports the key and
// verifies. Files written before the signature covered the blob, when it
// covered the password hash itself, are still accepted: refusing them would
// lose their data.
Outcome CheckSignedKey(Provider& provider, InputFile& source, const format::Layout& layout, ProviderHash& passwordHash,
                       const SecretBytes& passwordHashValue);

}  // namespace ferrune
