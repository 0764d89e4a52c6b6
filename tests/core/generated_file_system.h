// Files too large to keep, for streams past 4 GiB: a plain file and its .zrv
// image under the fake provider, each made from its offsets when read. A
// temporary file checks every write against what its final name must hold,
// keeps nothing, and reads back by making those bytes again.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "core/provider.h"

namespace ferrune::testing {

class GeneratedFileSystem final : public StreamFiles {
 public:
  // `plainPath` holds `plainSize` bytes; `plainPath` + ".zrv" is their
  // encryption under `password`, signed by the fake provider's pair 7.
  GeneratedFileSystem(std::wstring plainPath, std::uint64_t plainSize, ByteView password);

  std::uint64_t ImageSize(bool encrypted) const;
  // Bytes [offset, offset + length) of the plain file or of its image.
  void Generate(bool encrypted, std::uint64_t offset, std::uint8_t* out, std::size_t length) const;

  Opened<InputFile> OpenRead(const std::wstring& path) override;
  Opened<TempFile> CreateTemp(const std::wstring& finalPath) override;

  // A write that differed from what its final name must hold.
  std::atomic<bool> mismatch{false};
  std::atomic<int> flushes{0};
  // Sizes of the files put in place, by name.
  std::map<std::wstring, std::uint64_t> Committed() const;
  void NoteCommitted(const std::wstring& finalPath, std::uint64_t size);

 private:
  std::uint64_t CipherBlock(std::uint64_t index) const;
  std::uint64_t PlainBlock(std::uint64_t index) const;

  const std::wstring plainPath_;
  const std::uint64_t plainSize_;
  const std::uint64_t key_;
  const std::uint64_t lastBlock_;  // index of the padded block
  std::uint64_t lastCipher_ = 0;
  std::uint64_t lastPlain_ = 0;       // the padded block before chaining
  std::vector<std::uint8_t> prefix_;  // header, key blob and signature
  mutable std::mutex mutex_;
  std::map<std::wstring, std::uint64_t> committed_;
};

}  // namespace ferrune::testing
