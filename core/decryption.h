// Decryption from an encrypted source to a sink of plain bytes: the shape,
// then the key import and the signature, then the ciphertext chunk by chunk.
// Decryption writes with it, and the proof of an encryption reads with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/chunk_queue.h"
#include "core/file_system.h"
#include "core/job_control.h"
#include "core/outcome.h"
#include "core/provider.h"
#include "core/secret_bytes.h"

namespace ferrune {

// One hash of the password bytes, the key derived from it and its value.
struct PasswordKey {
  std::unique_ptr<ProviderHash> hash;
  std::unique_ptr<ProviderKey> key;
  SecretBytes hashValue;
};

// The key comes first: after a verification the hash may only be destroyed.
bool MakePasswordKey(Provider& provider, const SecretBytes& password, PasswordKey* out);

class PlainSink {
 public:
  virtual ~PlainSink() = default;
  // Called once the signature has verified, before the first plain byte.
  virtual Outcome Begin() = 0;
  virtual Outcome Put(const std::uint8_t* data, std::size_t length) = 0;
  // The same for a whole chunk, which a sink may keep for a while.
  virtual Outcome PutChunk(Chunk chunk) { return Put(chunk.data(), chunk.length); }
  // Called after the final chunk.
  virtual Outcome End() = 0;
};

// Compares the plain bytes with a reference file as the disk holds it now,
// past the system's cache, which must end where they end.
class CompareSink final : public PlainSink {
 public:
  explicit CompareSink(InputFile& reference) : reference_(reference) {}
  Outcome Begin() override { return Outcome::Success; }
  Outcome Put(const std::uint8_t* data, std::size_t length) override;
  Outcome End() override;

 private:
  InputFile& reference_;
  std::uint64_t offset_ = 0;
  SecretBytes buffer_;  // plain bytes of the input: wiped when done
};

// `control` may be null (the proof reports nothing and is stopped through its
// source). With `threads` above 1 the chunks are decrypted side by side, each
// from the last ciphertext block before it, and reach the sink in order.
Outcome DecryptInto(Provider& provider, const SecretBytes& password, InputFile& source, PlainSink& sink,
                    const JobControl* control, std::size_t chunkSize, unsigned threads = 1);

// A whole number of blocks, at least one.
std::size_t NormalizedChunkSize(std::size_t chunkSize);

}  // namespace ferrune
