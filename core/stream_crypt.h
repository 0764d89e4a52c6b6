// Encryption and decryption of one file in chunks, with bounded memory, over
// any provider and file system. The output is written beside its final name,
// proven by reading it back on a second thread, and only then renamed into
// place; on every other path it is removed and the final name is untouched.
#pragma once

#include <cstddef>
#include <string>

#include "core/file_system.h"
#include "core/job_control.h"
#include "core/outcome.h"
#include "core/provider.h"
#include "core/secret_bytes.h"

namespace ferrune {

// One per core, up to four: beyond that the disk and the proof set the pace.
unsigned DecryptThreadsHere();

struct StreamOptions {
  // Rounded down to a whole number of cipher blocks. Small enough that a
  // chunk stays in a core's cache from its decryption to its write, large
  // enough that handing it between threads costs little (under Wine every
  // wait is a call to its server).
  std::size_t chunkSize = std::size_t{512} << 10;
  // Chunks decrypted side by side; 1 decrypts on the calling thread alone.
  unsigned decryptThreads = DecryptThreadsHere();
};

Outcome EncryptStream(Provider& provider, StreamFiles& fs, const std::wstring& plainPath,
                      const std::wstring& encryptedPath, const SecretBytes& password, const JobControl& control,
                      const StreamOptions& options = {});

Outcome DecryptStream(Provider& provider, StreamFiles& fs, const std::wstring& encryptedPath,
                      const std::wstring& plainPath, const SecretBytes& password, const JobControl& control,
                      const StreamOptions& options = {});

}  // namespace ferrune
