#include "stream_crypt.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "chunk_queue.h"
#include "decrypt_path.h"
#include "format.h"
#include "output_file.h"

namespace ferrune {
namespace {

// Decrypted chunks the proof of a decryption may fall behind by.
constexpr std::size_t kProofQueueChunks = 4;

struct SignedKey {
  std::vector<std::uint8_t> blob;
  std::vector<std::uint8_t> signature;
};

// The signature covers SHA-1(key blob || password hash), never the password
// hash alone: the public key beside it would give that hash, and so the RC2
// key, back to anyone.
Outcome MakeSignedKey(Provider& provider, const SecretBytes& passwordHashValue, SignedKey* out) {
  if (!provider.ExportSignaturePublicKey(&out->blob)) return Outcome::Failed;
  if (out->blob.empty() || out->blob.size() > kMaxKeyBlobLength) return Outcome::Failed;
  auto bound = provider.Hash({out->blob, ByteView(passwordHashValue.data(), passwordHashValue.size())});
  if (!bound || !provider.Sign(*bound, &out->signature)) return Outcome::Failed;
  // An empty signature would give a file that no password opens.
  if (out->signature.empty() || out->signature.size() > kMaxSignatureLength) return Outcome::Failed;
  return Outcome::Success;
}

// The proof of an encryption: decryption's own path over the file as read
// back, compared with the input.
bool ProveEncryption(Provider& provider, const SecretBytes& password, WrittenFile& written, InputFile& input,
                     std::size_t chunkSize) {
  CompareSink compare(input);
  if (DecryptPath(provider, password, written, compare, nullptr, chunkSize) != Outcome::Success) return false;
  std::uint64_t size = 0;
  return written.WaitFinished(&size) && size == written.Size();
}

// The proof of a decryption: every chunk written, read back from the file
// and compared with the chunk that was decrypted.
bool ProveDecryption(WrittenFile& written, ChunkQueue& decrypted) {
  // However it ends, the decryption must not wait on it any longer.
  struct StopOnExit {
    ChunkQueue& queue;
    ~StopOnExit() { queue.Stop(); }
  } stopOnExit{decrypted};
  std::uint64_t offset = 0;
  SecretBytes back;  // one buffer for the whole file: no allocation and wipe per chunk
  while (std::optional<SecretBytes> chunk = decrypted.Pop()) {
    if (back.size() < chunk->size()) back = SecretBytes(chunk->size());
    if (!written.ReadAt(offset, back.data(), chunk->size())) return false;
    if (std::memcmp(back.data(), chunk->data(), chunk->size()) != 0) return false;
    offset += chunk->size();
  }
  std::uint64_t size = 0;
  return written.WaitFinished(&size) && size == offset;
}

// Writes the plain bytes of a decryption to its output. Nothing is made
// before the signature has verified; then the temporary file and the proof.
class OutputSink final : public PlainSink {
 public:
  OutputSink(OutputFile& output, ChunkQueue& decrypted) : output_(output), decrypted_(decrypted) {}

  Outcome Begin() override {
    if (const Outcome created = output_.Create(WrittenFile::kUnknownSize); created != Outcome::Success) {
      return created;
    }
    // The proof holds only what outlives the output, which joins it.
    return output_.StartProof(
        [&written = output_.written(), &decrypted = decrypted_] { return ProveDecryption(written, decrypted); },
        [&decrypted = decrypted_] { decrypted.Stop(); });
  }
  Outcome Put(const std::uint8_t* data, std::size_t length) override {
    if (length == 0) return Outcome::Success;
    if (const Outcome appended = output_.Append(data, length); appended != Outcome::Success) return appended;
    return decrypted_.Push(SecretBytes(data, length)) ? Outcome::Success : Outcome::Failed;
  }
  Outcome End() override {
    decrypted_.Close();
    return output_.FlushAndFinish();
  }

 private:
  OutputFile& output_;
  ChunkQueue& decrypted_;
};

Outcome Finish(OutputFile& output, const JobControl& control) {
  if (const Outcome proven = output.AwaitProof(); proven != Outcome::Success) return proven;
  if (control.Cancelled()) return Outcome::Cancelled;
  return output.Commit();
}

// The final chunk is the last `finalLength` bytes (all of a chunk when the
// size is a whole number of chunks; nothing for an empty file).
std::size_t FinalChunkLength(std::uint64_t plainSize, std::size_t chunkSize) {
  return plainSize == 0 ? 0 : static_cast<std::size_t>((plainSize - 1) % chunkSize + 1);
}

Outcome EncryptChunks(ProviderKey& key, InputFile& input, OutputFile& output, const JobControl& control,
                      std::size_t chunkSize, std::size_t finalCipherLength) {
  const std::uint64_t plainSize = input.Size();
  SecretBytes buffer(static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, plainSize)) + format::kBlockSize);
  std::uint64_t done = 0;
  // An empty file still has one final chunk: its padding.
  do {
    if (control.Cancelled()) return Outcome::Cancelled;
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, plainSize - done));
    const bool final = done + length == plainSize;
    if (length > 0 && !input.ReadAt(done, buffer.data(), length)) return Outcome::CannotRead;
    std::size_t cipherLength = 0;
    if (!key.Encrypt(buffer.data(), length, buffer.size(), final, &cipherLength)) return Outcome::Failed;
    // The header already promised this length.
    if (cipherLength != (final ? finalCipherLength : length)) return Outcome::Failed;
    if (const Outcome appended = output.Append(buffer.data(), cipherLength); appended != Outcome::Success) {
      return appended;
    }
    done += length;
    control.Report(done, plainSize);
  } while (done < plainSize);
  return output.FlushAndFinish();
}

}  // namespace

Outcome EncryptStream(Provider& provider, FileSystem& fs, const std::wstring& plainPath,
                      const std::wstring& encryptedPath, const SecretBytes& password, const JobControl& control,
                      const StreamOptions& options) {
  const std::size_t chunkSize = NormalizedChunkSize(options.chunkSize);
  if (encryptedPath.empty()) return Outcome::CannotWrite;
  auto input = fs.OpenRead(plainPath);
  if (!input) return Outcome::CannotRead;

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

  OutputFile output(fs, encryptedPath);
  if (const Outcome created = output.Create(expectedSize); created != Outcome::Success) return created;
  InputFile& plain = *input;
  const Outcome started =
      output.StartProof([&] { return ProveEncryption(provider, password, output.written(), plain, chunkSize); });
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

Outcome DecryptStream(Provider& provider, FileSystem& fs, const std::wstring& encryptedPath,
                      const std::wstring& plainPath, const SecretBytes& password, const JobControl& control,
                      const StreamOptions& options) {
  const std::size_t chunkSize = NormalizedChunkSize(options.chunkSize);
  if (plainPath.empty()) return Outcome::CannotWrite;
  auto input = fs.OpenRead(encryptedPath);
  if (!input) return Outcome::CannotRead;
  ChunkQueue proofQueue(kProofQueueChunks);
  OutputFile output(fs, plainPath);
  OutputSink sink(output, proofQueue);
  if (const Outcome decrypted = DecryptPath(provider, password, *input, sink, &control, chunkSize);
      decrypted != Outcome::Success) {
    return decrypted;
  }
  return Finish(output, control);
}

}  // namespace ferrune
