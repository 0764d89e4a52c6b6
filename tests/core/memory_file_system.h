// Files in memory, with the faults a test asks for, each reported with the
// code `faultCode` and the operation it broke. Temporary files are named
// "<final>.tmp<n>" so a test can see any that are left.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace ferrune::testing {

using Bytes = std::vector<std::uint8_t>;

class MemoryFileSystem final : public FileSystem {
 public:
  static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

  // Back to no files and no faults.
  void Reset();
  // A plain delete, as another program would make it behind a job's back.
  bool Remove(const std::wstring& path);
  void Put(const std::wstring& path, Bytes data);
  std::optional<Bytes> Get(const std::wstring& path) const;
  std::vector<std::wstring> Names() const;

  Opened<InputFile> OpenRead(const std::wstring& path) override;
  Opened<TempFile> CreateTemp(const std::wstring& finalPath) override;
  PathKind Kind(const std::wstring& path, FileError* error) override;
  FileError Identify(const std::wstring& path, FileIdentity* seen) override;
  Taken OpenHeld(const std::wstring& path) override;
  Hold HoldExisting(const std::wstring& path) override;
  void RemoveLeftovers(const std::wstring& path) override;
  std::vector<std::wstring> WhoHolds(const std::wstring& path) override;

  // What another job, or the user, has done to a name.
  std::set<std::wstring> heldElsewhere;  // taken by another job
  std::set<std::wstring> folders;
  std::set<std::wstring> symbolicLinks;
  std::map<std::wstring, std::uint32_t> links;    // more than one name
  std::vector<std::wstring> leftoversSwept;       // beside which output
  std::map<std::wstring, FileMetadata> metadata;  // what each file carries; a commit moves it
  std::vector<std::wstring> holders;              // who the system says holds a file in use

  // Faults.
  int faultCode = 5;
  std::set<std::wstring> locked;           // cannot be opened
  std::uint64_t failInputReadAt = kNever;  // input reads covering this offset fail
  // A disk that once gave a wrong byte here, which the cache then keeps:
  // every cached read of an input shows it, a read past the cache does not.
  std::uint64_t wrongInputByteAt = kNever;
  bool failCreate = false;
  std::uint64_t failWriteAt = kNever;  // temporary writes reaching this offset fail
  int failFlushAfter = -1;             // flushes that succeed before every later one fails; -1: none
  bool failCommit = false;
  bool failStamp = false;       // the output cannot take its input's metadata (its mark)
  bool failFolderSync = false;  // the output is placed, its folder not flushed
  bool failRemove = false;
  bool failHold = false;                     // a file under the output name cannot be taken
  bool failKind = false;                     // the output name cannot be looked at
  bool failPastCache = false;                // the input cannot be read again past the cache
  std::uint64_t corruptReadBackAt = kNever;  // reading back flips this byte
  bool failReadBack = false;
  // Temporary files read through a cache, as where O_DIRECT is refused: a
  // read back of what no flush has covered yet is counted.
  bool readsThroughCache = false;
  std::atomic<int> readsBeforeFlush{0};

  // What the work asked for.
  std::atomic<int> tempsCreated{0};
  std::atomic<std::size_t> largestTransfer{0};

 private:
  friend class MemoryTempFile;
  friend class MemoryInputFile;
  friend class MemoryHold;
  friend class HeldInput;
  friend class MemoryDeletable;
  void Note(std::size_t length);
  FileError Fault(FileOp op) const { return FileError::Posix(faultCode, op); }

  mutable std::mutex mutex_;
  FileIdentity IdentityOf(const std::wstring& path) const;  // under mutex_

  std::map<std::wstring, Bytes> files_;
  // Each file's number and the time of its last write: a Put makes a new
  // file, a commit moves the temporary one to its name.
  struct Node {
    std::uint64_t index = 0;
    std::int64_t written = 0;
  };
  std::map<std::wstring, Node> nodes_;
  std::uint64_t serial_ = 0;
  std::set<std::wstring> taken_;  // by a job in this process
  int nextTemp_ = 0;
};

}  // namespace ferrune::testing
