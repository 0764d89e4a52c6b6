#include "tests/core/generated_file_system.h"

#include <algorithm>
#include <cstring>

#include "core/format.h"
#include "core/le_bytes.h"
#include "tests/core/fake_provider.h"

namespace ferrune::testing {
namespace {

std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 31;
  x *= 0x9E3779B97F4A7C15ull;
  return x ^ (x >> 29);
}

void Store64(std::uint8_t* p, std::uint64_t v) {
  StoreLe32(p, static_cast<std::uint32_t>(v));
  StoreLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

std::uint64_t Load64(const std::uint8_t* p) { return LoadLe32(p) | std::uint64_t{LoadLe32(p + 4)} << 32; }

const std::wstring kEncryptedSuffix = L".zrv";

class GeneratedInput final : public InputFile {
 public:
  GeneratedInput(const GeneratedFileSystem& fs, bool encrypted) : fs_(fs), encrypted_(encrypted) {}
  std::uint64_t Size() const override { return fs_.ImageSize(encrypted_); }
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (offset > Size() || Size() - offset < length) return FileError::Own(OwnError::Shrank, FileOp::Read);
    fs_.Generate(encrypted_, offset, buffer, length);
    return {};
  }

 private:
  const GeneratedFileSystem& fs_;
  const bool encrypted_;
};

class CheckedTemp final : public TempFile {
 public:
  CheckedTemp(GeneratedFileSystem& fs, bool encrypted) : fs_(fs), encrypted_(encrypted) {}
  bool ReadsPastCache() const override { return true; }
  FileError Stamp(const FileMetadata&) override { return {}; }
  FileError Identity(FileIdentity* now) override {
    *now = {};
    return {};
  }
  Committed Commit(const std::wstring& finalPath, const Replacing&) override {
    fs_.NoteCommitted(finalPath, Written());
    return {Outcome::Success, {}, {}};
  }

  FileError WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    if (offset > fs_.ImageSize(encrypted_) || fs_.ImageSize(encrypted_) - offset < length) return Mismatch();
    expected_.resize(length);
    fs_.Generate(encrypted_, offset, expected_.data(), length);
    if (length > 0 && std::memcmp(expected_.data(), data, length) != 0) return Mismatch();
    std::lock_guard lock(mutex_);
    written_ = std::max(written_, offset + length);
    return {};
  }
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    {
      std::lock_guard lock(mutex_);
      if (offset > written_ || written_ - offset < length) return FileError::Own(OwnError::Shrank, FileOp::Read);
    }
    fs_.Generate(encrypted_, offset, buffer, length);
    return {};
  }
  FileError Flush() override {
    ++fs_.flushes;
    return {};
  }

  std::uint64_t Written() {
    std::lock_guard lock(mutex_);
    return written_;
  }

 private:
  FileError Mismatch() {
    fs_.mismatch = true;
    return FileError::Posix(5, FileOp::Write);
  }

  GeneratedFileSystem& fs_;
  const bool encrypted_;
  std::vector<std::uint8_t> expected_;  // only the writer's thread writes
  std::mutex mutex_;
  std::uint64_t written_ = 0;
};

}  // namespace

GeneratedFileSystem::GeneratedFileSystem(std::wstring plainPath, std::uint64_t plainSize, ByteView password)
    : plainPath_(std::move(plainPath)),
      plainSize_(plainSize),
      key_(FakeProvider::KeyFor(password)),
      lastBlock_(plainSize / format::kBlockSize) {
  // The ciphertext is made up, the plain bytes follow from it; only the
  // padded last block is made from its plain bytes.
  std::uint8_t last[format::kBlockSize];
  const std::size_t tail = plainSize % format::kBlockSize;
  for (std::size_t i = 0; i < format::kBlockSize; ++i) {
    last[i] = i < tail ? static_cast<std::uint8_t>(0x41 + i) : static_cast<std::uint8_t>(format::kBlockSize - tail);
  }
  lastPlain_ = Load64(last);
  lastCipher_ = FakeProvider::EncryptBlock(key_, lastPlain_ ^ (lastBlock_ == 0 ? 0 : CipherBlock(lastBlock_ - 1)));

  const std::vector<std::uint8_t> blob = FakeProvider::BlobFor(7);
  std::vector<std::uint8_t> bound = blob;
  const std::vector<std::uint8_t> passwordHash = FakeProvider::Digest(password);
  bound.insert(bound.end(), passwordHash.begin(), passwordHash.end());
  const std::vector<std::uint8_t> signature = FakeProvider::SignatureFor(7, FakeProvider::Digest(bound));
  const format::Header header =
      format::MakeHeader(static_cast<std::uint32_t>(blob.size()), static_cast<std::uint32_t>(signature.size()));
  prefix_.assign(header.begin(), header.end());
  prefix_.insert(prefix_.end(), blob.begin(), blob.end());
  prefix_.insert(prefix_.end(), signature.begin(), signature.end());
}

std::uint64_t GeneratedFileSystem::CipherBlock(std::uint64_t index) const {
  return index == lastBlock_ ? lastCipher_ : Mix(index + 1);
}

std::uint64_t GeneratedFileSystem::PlainBlock(std::uint64_t index) const {
  if (index == lastBlock_) return lastPlain_;
  return FakeProvider::DecryptBlock(key_, CipherBlock(index)) ^ (index == 0 ? 0 : CipherBlock(index - 1));
}

std::uint64_t GeneratedFileSystem::ImageSize(bool encrypted) const {
  return encrypted ? prefix_.size() + format::CiphertextLength(plainSize_) : plainSize_;
}

void GeneratedFileSystem::Generate(bool encrypted, std::uint64_t offset, std::uint8_t* out, std::size_t length) const {
  if (encrypted && offset < prefix_.size()) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(length, prefix_.size() - offset));
    std::memcpy(out, prefix_.data() + offset, part);
    out += part;
    offset += part;
    length -= part;
  }
  const std::uint64_t start = encrypted ? prefix_.size() : 0;
  while (length > 0) {
    const std::uint64_t at = offset - start;
    const std::uint64_t index = at / format::kBlockSize;
    const auto skip = static_cast<std::size_t>(at % format::kBlockSize);
    std::uint8_t block[format::kBlockSize];
    Store64(block, encrypted ? CipherBlock(index) : PlainBlock(index));
    const std::size_t part = std::min(length, format::kBlockSize - skip);
    std::memcpy(out, block + skip, part);
    out += part;
    offset += part;
    length -= part;
  }
}

Opened<InputFile> GeneratedFileSystem::OpenRead(const std::wstring& path) {
  if (path == plainPath_) return {std::make_unique<GeneratedInput>(*this, false), {}};
  if (path == plainPath_ + kEncryptedSuffix) return {std::make_unique<GeneratedInput>(*this, true), {}};
  return {nullptr, FileError::Posix(2, FileOp::Open)};
}

Opened<TempFile> GeneratedFileSystem::CreateTemp(const std::wstring& finalPath) {
  if (finalPath != plainPath_ && finalPath != plainPath_ + kEncryptedSuffix) {
    return {nullptr, FileError::Posix(2, FileOp::Create)};
  }
  return {std::make_unique<CheckedTemp>(*this, finalPath != plainPath_), {}};
}

void GeneratedFileSystem::NoteCommitted(const std::wstring& finalPath, std::uint64_t size) {
  std::lock_guard lock(mutex_);
  committed_[finalPath] = size;
}

std::map<std::wstring, std::uint64_t> GeneratedFileSystem::Committed() const {
  std::lock_guard lock(mutex_);
  return committed_;
}

}  // namespace ferrune::testing
