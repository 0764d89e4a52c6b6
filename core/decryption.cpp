#include "core/decryption.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "core/checksum.h"
#include "core/format.h"
#include "core/signed_key.h"

namespace ferrune {

std::size_t NormalizedChunkSize(std::size_t chunkSize) {
  return std::max(format::kBlockSize, chunkSize - chunkSize % format::kBlockSize);
}

bool MakePasswordKey(Provider& provider, const SecretBytes& password, PasswordKey* out) {
  out->hash = provider.Hash({ByteView(password.data(), password.size())});
  if (!out->hash) return false;
  out->key = provider.DeriveKey(*out->hash);
  return out->key && provider.HashValue(*out->hash, &out->hashValue) && !out->hashValue.empty();
}

Outcome CompareSink::Put(const std::uint8_t* data, std::size_t length) {
  if (length == 0) return Outcome::Success;
  if (buffer_.size() < length) buffer_ = SecretBytes(length);
  if (!reference_.ReadPastCache(offset_, buffer_.data(), length).ok()) return Outcome::Failed;
  if (std::memcmp(buffer_.data(), data, length) != 0) return Outcome::Failed;
  offset_ += length;
  return Outcome::Success;
}

Outcome CompareSink::End() { return reference_.Size() == offset_ ? Outcome::Success : Outcome::Failed; }

namespace {

// The ciphertext in chunks, decrypted by helper threads (or, with none, by
// the caller) and handed to the sink in order by the caller. Each chunk
// starts from the last ciphertext block before it, read with it.
class ChunkDecryption {
 public:
  ChunkDecryption(ProviderKey& key, InputFile& source, const format::Layout& layout, std::size_t chunkSize,
                  const JobControl* control, unsigned helpers)
      : key_(key),
        source_(source),
        layout_(layout),
        chunkSize_(chunkSize),
        count_((layout.ciphertextLength + chunkSize - 1) / chunkSize),
        control_(control),
        helpers_(static_cast<unsigned>(std::min<std::uint64_t>(helpers, count_))),
        // Each helper one chunk in hand and one done ahead, and one with
        // the sink; decrypting alone, the one in hand.
        pool_(helpers_ == 0 ? 1 : 2 * std::size_t{helpers_} + 1,
              static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, layout.ciphertextLength)) +
                  format::kBlockSize) {}
  ChunkDecryption(const ChunkDecryption&) = delete;
  ChunkDecryption& operator=(const ChunkDecryption&) = delete;

  ~ChunkDecryption() {
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
    }
    pool_.Stop();
    done_.notify_all();
    for (std::thread& helper : threads_) helper.join();
  }

  // Apart from the constructor, so that a thread that cannot start leaves
  // the ones that did to the destructor.
  void Start() {
    for (unsigned i = 0; i < helpers_; ++i) threads_.emplace_back([this] { Help(); });
  }

  Outcome Run(PlainSink& sink) {
    std::uint64_t done = 0;
    for (std::uint64_t index = 0; index < count_; ++index) {
      if (control_ && control_->Cancelled()) return Outcome::Cancelled;
      Result result = helpers_ == 0 ? Decrypted(index) : Await(index);
      if (result.outcome != Outcome::Success) return result.outcome;
      const std::size_t cipherLength = ChunkLength(index);
      if (const Outcome put = sink.PutChunk(std::move(*result.chunk)); put != Outcome::Success) return put;
      done += cipherLength;
      if (control_) control_->Report(done, layout_.ciphertextLength);
    }
    return sink.End();
  }

 private:
  struct Result {
    Outcome outcome = Outcome::Failed;
    std::optional<Chunk> chunk;
  };

  std::size_t ChunkLength(std::uint64_t index) const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize_, layout_.ciphertextLength - index * chunkSize_));
  }

  Result Decrypted(std::uint64_t index) {
    std::optional<Chunk> chunk = pool_.Take(control_);
    if (!chunk) return {Outcome::Cancelled, std::nullopt};
    return Decrypt(index, std::move(*chunk));
  }

  Result Decrypt(std::uint64_t index, Chunk chunk) {
    const std::uint64_t offset = index * chunkSize_;
    const std::size_t length = ChunkLength(index);
    const bool final = offset + length == layout_.ciphertextLength;
    // The first chunk starts from the zero vector, every other from the block
    // before it, read into the lead, so that the chunk itself starts on a page.
    static_assert(kChunkLead == format::kBlockSize);
    const std::size_t ivLength = index == 0 ? 0 : format::kBlockSize;
    std::uint8_t* const bytes = chunk.buffer() + kChunkLead;
    const std::uint64_t from = layout_.ciphertextOffset + offset - ivLength;
    if (!source_.ReadAt(from, bytes - ivLength, ivLength + length).ok()) return {Outcome::CannotRead, std::nullopt};
    chunk.source = {from, ivLength + length, Checksum(bytes - ivLength, ivLength + length)};
    std::uint8_t iv[format::kBlockSize] = {};
    std::copy_n(bytes - ivLength, ivLength, iv);
    const std::unique_ptr<ProviderKey> chunkKey = key_.DuplicateAt(ByteView(iv, sizeof iv));
    if (!chunkKey) return {Outcome::Failed, std::nullopt};
    std::size_t plainLength = 0;
    if (!chunkKey->Decrypt(bytes, length, final, &plainLength)) {
      // Bad padding or a cut ciphertext shows only in the final chunk.
      return {final ? Outcome::Damaged : Outcome::Failed, std::nullopt};
    }
    const bool plausible =
        final ? plainLength < length && length - plainLength <= format::kBlockSize : plainLength == length;
    if (!plausible) return {Outcome::Failed, std::nullopt};
    chunk.index = index;
    chunk.begin = kChunkLead;
    chunk.length = plainLength;
    return {Outcome::Success, std::move(chunk)};
  }

  // A helper takes a buffer before a chunk number, so a numbered chunk always
  // has its buffer and the lowest one not done never waits for one that
  // later chunks hold.
  void Help() {
    try {
      if (control_) control_->StartThread();
      while (HelpOnce()) {
      }
    } catch (...) {
      // A chunk may be lost with it: the caller must not wait for that one.
      {
        std::lock_guard lock(mutex_);
        broken_ = true;
      }
      done_.notify_all();
    }
  }

  bool HelpOnce() {
    std::optional<Chunk> chunk = pool_.Take();
    if (!chunk) return false;
    std::uint64_t index;
    {
      std::lock_guard lock(mutex_);
      if (stopped_ || next_ >= count_ || (control_ && control_->Cancelled())) return false;
      index = next_++;
    }
    Result result = Decrypt(index, std::move(*chunk));
    const bool failed = result.outcome != Outcome::Success;
    {
      std::lock_guard lock(mutex_);
      // After a failure no later chunk matters.
      if (failed) next_ = count_;
      results_.emplace(index, std::move(result));
    }
    done_.notify_all();
    return true;
  }

  Result Await(std::uint64_t index) {
    std::unique_lock lock(mutex_);
    if (!WaitOrCancel(lock, done_, control_, [&] { return broken_ || results_.count(index) > 0; })) {
      return {Outcome::Cancelled, std::nullopt};
    }
    const auto found = results_.find(index);
    if (found == results_.end()) return {Outcome::Failed, std::nullopt};
    Result result = std::move(found->second);
    results_.erase(found);
    return result;
  }

  ProviderKey& key_;
  InputFile& source_;
  const format::Layout& layout_;
  const std::size_t chunkSize_;
  const std::uint64_t count_;
  const JobControl* const control_;
  const unsigned helpers_;
  ChunkPool pool_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::map<std::uint64_t, Result> results_;
  std::uint64_t next_ = 0;
  bool stopped_ = false;
  bool broken_ = false;  // a helper ended on an exception
  std::vector<std::thread> threads_;
};

}  // namespace

Outcome DecryptInto(Provider& provider, const SecretBytes& password, InputFile& source, PlainSink& sink,
                    const JobControl* control, std::size_t chunkSize, unsigned threads) {
  chunkSize = NormalizedChunkSize(chunkSize);
  const std::uint64_t fileSize = source.Size();
  format::Header header{};
  const std::size_t headerBytes = std::min<std::uint64_t>(fileSize, header.size());
  if (headerBytes > 0 && !source.ReadAt(0, header.data(), headerBytes).ok()) return Outcome::CannotRead;
  format::Layout layout;
  if (!format::ReadLayout(std::span(header.data(), headerBytes), fileSize, &layout)) {
    return Outcome::Damaged;
  }

  PasswordKey passwordKey;
  if (!MakePasswordKey(provider, password, &passwordKey)) return Outcome::Failed;

  if (const Outcome checked = CheckSignedKey(provider, source, layout, *passwordKey.hash, passwordKey.hashValue);
      checked != Outcome::Success) {
    return checked;
  }
  if (const Outcome begun = sink.Begin(); begun != Outcome::Success) return begun;

  // One thread decrypts on the caller's; more are helpers beside it.
  ChunkDecryption chunks(*passwordKey.key, source, layout, chunkSize, control, threads > 1 ? threads : 0);
  chunks.Start();
  return chunks.Run(sink);
}

}  // namespace ferrune
