#include "core/stream_crypt.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/checksum.h"
#include "core/chunk_queue.h"
#include "core/decryption.h"
#include "core/format.h"
#include "core/output_file.h"
#include "core/page_alignment.h"
#include "core/signed_key.h"

namespace ferrune {
namespace {

// Decrypted chunks the proof of a decryption may fall behind by.
constexpr std::size_t kProofQueueChunks = 4;

// The proof of an encryption: decryption's own path over the file as read
// back from the disk, compared with the input, on one thread beside the
// encryption's. A read back that fails is a failed write.
Outcome ProveEncryption(Provider& provider, const SecretBytes& password, WrittenFile& written, InputFile& input,
                        std::size_t chunkSize, const JobControl& control) {
  CompareSink compare(input);
  const Outcome decrypted = DecryptInto(provider, password, written, compare, &control, chunkSize);
  if (decrypted == Outcome::CannotRead) return Outcome::CannotWrite;
  if (decrypted != Outcome::Success) return Outcome::Failed;
  std::uint64_t size = 0;
  return written.WaitFinished(&size) && size == written.Size() ? Outcome::Success : Outcome::Failed;
}

// The proof of a decryption: every chunk written, read back from the file
// and compared with the chunk that was decrypted; and the encrypted bytes it
// came from read again past the cache, since a read that went wrong once
// would have decrypted to wrong bytes without a word. That is a failed read.
Outcome ProveDecryption(WrittenFile& written, ChunkQueue& decrypted, InputFile& source) {
  // However it ends, the decryption must not wait on it any longer.
  struct StopOnExit {
    ChunkQueue& queue;
    ~StopOnExit() { queue.Stop(); }
  } stopOnExit{decrypted};
  std::uint64_t offset = 0;
  // One buffer for the whole file, no allocation and wipe per chunk; read
  // into from a page, as the chunks were written.
  SecretBytes back;
  std::uint8_t* page = nullptr;
  std::vector<std::uint8_t> again;
  while (std::optional<Chunk> chunk = decrypted.Pop()) {
    if (back.size() < chunk->length + kPageAlignment) {
      back = SecretBytes(chunk->length + kPageAlignment);
      page = back.data() + PageSkip(back.data());
    }
    if (!written.ReadAt(offset, page, chunk->length).ok()) return Outcome::CannotWrite;
    if (std::memcmp(page, chunk->data(), chunk->length) != 0) return Outcome::Failed;
    again.resize(chunk->source.length);
    if (!source.ReadPastCache(chunk->source.offset, again.data(), again.size()).ok() ||
        Checksum(again.data(), again.size()) != chunk->source.sum) {
      return Outcome::CannotRead;
    }
    offset += chunk->length;
  }
  std::uint64_t size = 0;
  return written.WaitFinished(&size) && size == offset ? Outcome::Success : Outcome::Failed;
}

// Writes the plain bytes of a decryption to its output. Nothing is made
// before the signature has verified; then the temporary file and the proof.
class OutputSink final : public PlainSink {
 public:
  OutputSink(OutputFile& output, ChunkQueue& decrypted, const JobControl& control, InputFile& source)
      : output_(output), decrypted_(decrypted), control_(control), source_(source) {}

  Outcome Begin() override {
    if (const Outcome created =
            output_.Create(WrittenFile::kUnknownSize, source_.Metadata(), WrittenFile::Reads::AsWritten);
        created != Outcome::Success) {
      return created;
    }
    // The proof captures only what lives longer than the output, whose end
    // joins the proof's thread.
    return output_.StartProof(
        [&written = output_.written(), &decrypted = decrypted_, &control = control_, &source = source_] {
          control.StartThread();
          return ProveDecryption(written, decrypted, source);
        },
        [&decrypted = decrypted_] { decrypted.Stop(); });
  }
  Outcome Put(const std::uint8_t* data, std::size_t length) override {
    Chunk copy(SecretBytes(data, length));
    copy.length = length;
    return PutChunk(std::move(copy));
  }
  // The chunk itself goes on to the proof: no copy.
  Outcome PutChunk(Chunk chunk) override {
    if (chunk.length == 0) return Outcome::Success;
    if (const Outcome appended = output_.Append(chunk.data(), chunk.length); appended != Outcome::Success) {
      return appended;
    }
    if (decrypted_.Push(std::move(chunk), &control_)) return Outcome::Success;
    if (control_.Cancelled()) return Outcome::Cancelled;
    // Only the proof stops its queue: its outcome says why.
    const Outcome proven = output_.AwaitProof();
    return proven == Outcome::Success ? Outcome::Failed : proven;
  }
  Outcome End() override {
    decrypted_.Close();
    return output_.FlushAndFinish();
  }

 private:
  OutputFile& output_;
  ChunkQueue& decrypted_;
  const JobControl& control_;
  InputFile& source_;
};

Outcome Finish(OutputFile& output, const JobControl& control) {
  const Outcome proven = output.AwaitProof();
  // A cancel stops a proof that lags behind, which then does not hold.
  if (control.Cancelled()) return Outcome::Cancelled;
  if (proven != Outcome::Success) return proven;
  return output.Commit();
}

// The final chunk is the last `finalLength` bytes (all of a chunk when the
// size is a whole number of chunks; nothing for an empty file).
std::size_t FinalChunkLength(std::uint64_t plainSize, std::size_t chunkSize) {
  return plainSize == 0 ? 0 : static_cast<std::size_t>((plainSize - 1) % chunkSize + 1);
}

// Encryption with a reader ahead of it and a writer behind it, so that the
// cipher never waits on the disk. The outcome is the one a chunk-by-chunk
// loop would give: the failure of the earliest chunk, and within a chunk the
// earliest step.
class ChunkEncryption {
 public:
  ChunkEncryption(ProviderKey& key, InputFile& input, OutputFile& output, const JobControl& control,
                  std::size_t chunkSize, std::size_t finalCipherLength)
      : key_(key),
        input_(input),
        output_(output),
        control_(control),
        chunkSize_(chunkSize),
        finalCipherLength_(finalCipherLength),
        plainSize_(input.Size()),
        // An empty file still has one final chunk: its padding.
        count_(plainSize_ == 0 ? 1 : (plainSize_ + chunkSize - 1) / chunkSize),
        pool_(kChunksInFlight,
              static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, plainSize_)) + format::kBlockSize) {}
  ChunkEncryption(const ChunkEncryption&) = delete;
  ChunkEncryption& operator=(const ChunkEncryption&) = delete;

  ~ChunkEncryption() {
    StopAll();
    if (reader_.joinable()) reader_.join();
    if (writer_.joinable()) writer_.join();
  }

  Outcome Run() {
    reader_ = std::thread([this] { Guarded(Step::Read, [this] { ReadAll(); }); });
    writer_ = std::thread([this] { Guarded(Step::Write, [this] { WriteAll(); }); });
    std::uint64_t done = 0;
    std::uint64_t index = 0;
    for (; index < count_; ++index) {
      if (control_.Cancelled()) return Outcome::Cancelled;
      std::optional<Chunk> chunk = read_.Pop(&control_);
      if (!chunk) break;
      const bool final = index + 1 == count_;
      const std::size_t length = chunk->length;
      std::size_t cipherLength = 0;
      // The header already promised the final length.
      if (!key_.Encrypt(chunk->buffer(), length, chunk->capacity(), final, &cipherLength) ||
          cipherLength != (final ? finalCipherLength_ : length)) {
        Fail(index, Step::Encrypt, Outcome::Failed);
        break;
      }
      chunk->length = cipherLength;
      if (!written_.Push(std::move(*chunk), &control_)) break;
      done += length;
      control_.Report(done, plainSize_);
    }
    written_.Close();
    if (writer_.joinable()) writer_.join();
    if (control_.Cancelled()) return Outcome::Cancelled;
    std::lock_guard lock(mutex_);
    if (failure_.outcome == Outcome::Success && index < count_) return Outcome::Failed;
    return failure_.outcome;
  }

 private:
  // One chunk being read ahead, one encrypted, one written behind.
  static constexpr std::size_t kChunksInFlight = 3;
  enum class Step { Read, Encrypt, Write };
  struct Failure {
    std::uint64_t index = std::numeric_limits<std::uint64_t>::max();
    Step step = Step::Write;
    Outcome outcome = Outcome::Success;
  };

  template <typename Work>
  void Guarded(Step step, Work work) {
    control_.StartThread();
    try {
      work();
    } catch (...) {
      Fail(0, step, Outcome::Failed);
    }
  }

  void ReadAll() {
    for (std::uint64_t index = 0; index < count_; ++index) {
      if (control_.Cancelled()) break;
      std::optional<Chunk> chunk = pool_.Take(&control_);
      if (!chunk) break;
      const std::uint64_t offset = index * chunkSize_;
      chunk->index = index;
      chunk->length = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize_, plainSize_ - offset));
      if (chunk->length > 0 && !input_.ReadAt(offset, chunk->buffer(), chunk->length).ok()) {
        // What was read before still goes through, as it would one by one.
        Fail(index, Step::Read, Outcome::CannotRead, false);
        break;
      }
      if (!read_.Push(std::move(*chunk), &control_)) break;
    }
    read_.Close();
  }

  void WriteAll() {
    while (std::optional<Chunk> chunk = written_.Pop(&control_)) {
      if (output_.Append(chunk->data(), chunk->length) != Outcome::Success) {
        Fail(chunk->index, Step::Write, Outcome::CannotWrite);
        return;
      }
    }
  }

  void Fail(std::uint64_t index, Step step, Outcome outcome, bool stopAll = true) {
    {
      std::lock_guard lock(mutex_);
      if (index < failure_.index || (index == failure_.index && step < failure_.step)) {
        failure_ = {index, step, outcome};
      }
    }
    if (stopAll) StopAll();
  }

  void StopAll() {
    pool_.Stop();
    read_.Stop();
    written_.Stop();
  }

  ProviderKey& key_;
  InputFile& input_;
  OutputFile& output_;
  const JobControl& control_;
  const std::size_t chunkSize_;
  const std::size_t finalCipherLength_;
  const std::uint64_t plainSize_;
  const std::uint64_t count_;
  ChunkPool pool_;
  ChunkQueue read_{kChunksInFlight};
  ChunkQueue written_{kChunksInFlight};
  std::mutex mutex_;
  Failure failure_;
  std::thread reader_;
  std::thread writer_;
};

Outcome EncryptChunks(ProviderKey& key, InputFile& input, OutputFile& output, const JobControl& control,
                      std::size_t chunkSize, std::size_t finalCipherLength) {
  ChunkEncryption chunks(key, input, output, control, chunkSize, finalCipherLength);
  if (const Outcome encrypted = chunks.Run(); encrypted != Outcome::Success) return encrypted;
  return output.FlushAndFinish();
}

// The input, once the output has a name.
Outcome OpenInput(StreamFiles& fs, const std::wstring& inputPath, const std::wstring& outputPath,
                  std::unique_ptr<InputFile>* input) {
  if (outputPath.empty()) return Outcome::CannotWrite;
  *input = fs.OpenRead(inputPath).file;
  return *input ? Outcome::Success : Outcome::CannotRead;
}

}  // namespace

unsigned DecryptThreadsHere() { return std::clamp(std::thread::hardware_concurrency(), 1u, 4u); }

Outcome EncryptStream(Provider& provider, StreamFiles& fs, const std::wstring& plainPath,
                      const std::wstring& encryptedPath, const SecretBytes& password, const JobControl& control,
                      const StreamOptions& options) {
  const std::size_t chunkSize = NormalizedChunkSize(options.chunkSize);
  std::unique_ptr<InputFile> input;
  if (const Outcome opened = OpenInput(fs, plainPath, encryptedPath, &input); opened != Outcome::Success) return opened;

  PasswordKey passwordKey;
  if (!MakePasswordKey(provider, password, &passwordKey)) return Outcome::Failed;
  SignedKey signedKey;
  const Outcome made = MakeSignedKey(provider, passwordKey.hashValue, &signedKey);
  if (made != Outcome::Success) return made;

  const auto keyBlobLength = static_cast<std::uint32_t>(signedKey.blob.size());
  const auto signatureLength = static_cast<std::uint32_t>(signedKey.signature.size());
  const std::uint64_t plainSize = input->Size();
  if (plainSize > (std::uint64_t{1} << 62)) return Outcome::CannotRead;
  const std::size_t finalLength = FinalChunkLength(plainSize, chunkSize);
  std::size_t finalCipherLength = 0;
  if (!passwordKey.key->FinalChunkSize(finalLength, &finalCipherLength) || finalCipherLength < finalLength ||
      finalCipherLength - finalLength > format::kBlockSize) {
    return Outcome::Failed;
  }
  const std::uint64_t expectedSize =
      format::kHeaderSize + keyBlobLength + signatureLength + (plainSize - finalLength) + finalCipherLength;
  if (control.Cancelled()) return Outcome::Cancelled;

  // Made before the output, whose end joins the proof's thread that uses it.
  // The proof may lag far behind the encryption: a cancel stops it too.
  JobControl proofControl = control.ThreadsOnly();
  proofControl.cancel = control.cancel;
  OutputFile output(fs, encryptedPath);
  if (const Outcome created = output.Create(expectedSize, input->Metadata(), WrittenFile::Reads::FromDisk);
      created != Outcome::Success) {
    return created;
  }
  InputFile& plain = *input;
  const Outcome started = output.StartProof([&] {
    proofControl.StartThread();
    return ProveEncryption(provider, password, output.written(), plain, chunkSize, proofControl);
  });
  if (started != Outcome::Success) return started;

  // The header is complete before the first ciphertext byte.
  const format::Header header = format::MakeHeader(keyBlobLength, signatureLength);
  for (const ByteView part : {ByteView(header), ByteView(signedKey.blob), ByteView(signedKey.signature)}) {
    if (const Outcome appended = output.Append(part.data(), part.size()); appended != Outcome::Success) {
      return appended;
    }
  }
  if (const Outcome encrypted = EncryptChunks(*passwordKey.key, *input, output, control, chunkSize, finalCipherLength);
      encrypted != Outcome::Success) {
    return encrypted;
  }
  return Finish(output, control);
}

Outcome DecryptStream(Provider& provider, StreamFiles& fs, const std::wstring& encryptedPath,
                      const std::wstring& plainPath, const SecretBytes& password, const JobControl& control,
                      const StreamOptions& options) {
  std::unique_ptr<InputFile> input;
  if (const Outcome opened = OpenInput(fs, encryptedPath, plainPath, &input); opened != Outcome::Success) return opened;
  const std::size_t chunkSize = NormalizedChunkSize(options.chunkSize);
  ChunkQueue proofQueue(kProofQueueChunks);
  OutputFile output(fs, plainPath);
  OutputSink sink(output, proofQueue, control, *input);
  if (const Outcome decrypted =
          DecryptInto(provider, password, *input, sink, &control, chunkSize, options.decryptThreads);
      decrypted != Outcome::Success) {
    return decrypted;
  }
  return Finish(output, control);
}

}  // namespace ferrune
