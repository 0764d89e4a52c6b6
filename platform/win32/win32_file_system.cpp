#include "platform/win32/win32_file_system.h"

#include <mutex>
#include <utility>
#include <vector>

#include "core/temp_name.h"
#include "platform/win32/long_path.h"
#include "platform/win32/restart_manager.h"
#include "platform/win32/win32_aside.h"
#include "platform/win32/win32_io.h"
#include "platform/win32/win32_metadata.h"
#include "platform/win32/win32_temp_file.h"
#include "platform/win32/win_handles.h"

namespace ferrune {
namespace {

// Where a job's lock lies: far past any file's end, so that the lock keeps
// other jobs out while readers of the data stay welcome. Both zrv.exe and
// the window take it at the same place.
constexpr std::uint64_t kHoldOffset = std::uint64_t{1} << 62;

enum class Lock { Taken, HeldElsewhere, Unavailable };

Lock TakeLock(HANDLE file) {
  OVERLAPPED at = At(kHoldOffset);
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return Lock::Taken;
  return GetLastError() == ERROR_LOCK_VIOLATION ? Lock::HeldElsewhere : Lock::Unavailable;
}

// Another program has the file open in a way ours cannot share.
bool HeldByAnother(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

UniqueHandle OpenShared(const std::wstring& full) {
  return UniqueHandle(CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// A look at the open file itself, wherever it goes (under Wine Linux moves
// and removes open files), which holds nothing back from anyone. Null when
// it cannot be had for exactly that file: Wine reopens by the name.
UniqueHandle WatchOf(HANDLE file, const std::wstring& full, const FileIdentity& seen) {
  constexpr DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  UniqueHandle watch(ReOpenFile(file, FILE_READ_ATTRIBUTES, kAll, 0));
  if (!watch) watch.reset(CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES, kAll, nullptr, OPEN_EXISTING, 0, nullptr));
  FileIdentity watched;
  if (!watch || !IdentityOf(watch.get(), &watched) || !SameFile(watched, seen)) {
    return {};
  }
  return watch;
}

// The file still has a name (true when that cannot be told).
bool StillNamed(HANDLE watch) {
  FILE_STANDARD_INFO standard{};
  return !GetFileInformationByHandleEx(watch, FileStandardInfo, &standard, sizeof standard) ||
         (standard.NumberOfLinks > 0 && !standard.DeletePending);
}

using Removal = DeletableFile::Removal;

// The input reopened for its delete, through a handle that shares no
// writing or deleting, beside the job's watch on the file it read. Null
// handle: nothing stood under the name any more.
class Win32Deletable final : public DeletableFile {
 public:
  Win32Deletable(UniqueHandle file, UniqueHandle watch, std::wstring full)
      : file_(std::move(file)), watch_(std::move(watch)), full_(std::move(full)) {}
  FileError Identity(FileIdentity* named) override {
    *named = {};
    if (!file_) return {};
    if (!IdentityOf(file_.get(), named)) return LastError(FileOp::Identify);
    named->symbolicLink = named->symbolicLink || ReachedThroughLink(file_.get(), full_);
    return {};
  }
  // The file the job read, wherever it went: under Wine Linux moves and
  // removes open files.
  bool Held(FileIdentity* held) override {
    if (!watch_ || !IdentityOf(watch_.get(), held)) return false;
    if (!StillNamed(watch_.get())) held->links = 0;
    return true;
  }
  // A name that no longer shows the file right before it goes is no delete
  // either. Some systems take the mark and keep the file all the same at the
  // close (Wine, for a file that Linux will not let go): the name is looked
  // at again once the handle is closed.
  Removed Delete(const FileIdentity& expected, const std::function<bool()>& outputStands) override {
    FileIdentity now;
    if (file_ && !IdentityOf(file_.get(), &now)) return {Removal::Failed, LastError(FileOp::Identify), {}};
    FileIdentity named;
    if (!file_ || !IdentityAt(full_, &named) || !SameFile(named, now)) {
      return {StillNamed(watch_.get()) ? Removal::Moved : Removal::Gone, {}, {}};
    }
    if (now.links != 1) return {Removal::OtherNames, {}, {}};
    if (!SameContent(now, expected)) return {Removal::Changed, {}, {}};
    if (!outputStands()) return {Removal::OutputGone, {}, {}};
    // Wine holds a delete back until the file's last handle closes.
    watch_.reset();
    if (!MarkForDelete(file_.get(), true)) return {Removal::Failed, LastError(FileOp::Delete), {}};
    file_.reset();
    FileIdentity after;
    if (IdentityAt(full_, &after)) {
      if (SameFile(after, now)) return {Removal::Failed, {}, {}};
    } else if (const DWORD error = GetLastError(); !Missing(error) && error != ERROR_ACCESS_DENIED) {
      // Access denied: still open elsewhere, and gone when that closes.
      return {Removal::Failed, FileError::Win32(error, FileOp::Delete), {}};
    }
    if (!FlushFolder(FolderOf(full_))) return {Removal::DeletedNotDurable, LastError(FileOp::Flush), {}};
    return {Removal::Deleted, {}, {}};
  }

 private:
  UniqueHandle file_;
  UniqueHandle watch_;
  const std::wstring full_;
};

class Win32InputFile final : public HeldFile {
 public:
  Win32InputFile(UniqueHandle file, UniqueHandle unbuffered, UniqueHandle watch, std::uint64_t size,
                 FileMetadata metadata)
      : file_(std::move(file)),
        unbuffered_(std::move(unbuffered)),
        watch_(std::move(watch)),
        size_(size),
        metadata_(std::move(metadata)) {}
  std::uint64_t Size() const override { return size_; }
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(file_.get(), offset, buffer, length);
  }
  // Through the unbuffered handle where the system honours one; elsewhere
  // (Wine) there is no way past the cache.
  FileError ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (!unbuffered_) {
      FileError read = ReadAt(offset, buffer, length);
      if (!read.ok()) read.op = FileOp::ReadPastCache;
      return read;
    }
    std::lock_guard lock(bounceMutex_);
    return ReadUnbuffered(unbuffered_.get(), offset, buffer, length, bounce_);
  }
  FileMetadata Metadata() const override { return metadata_; }
  // Our own reads share no delete, so they go first, with the job's lock;
  // whatever stands under the name in that gap is what the identity check
  // then looks at.
  Opened<DeletableFile> ForDelete(const std::wstring& path) override {
    unbuffered_.reset();
    file_.reset();
    const std::wstring full = LongPath(path);
    if (full.empty()) return {nullptr, FileError::Win32(ERROR_INVALID_NAME, FileOp::Delete)};
    UniqueHandle target(CreateFileW(full.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!target && !Missing(GetLastError())) return {nullptr, LastError(FileOp::Delete)};
    return {std::make_unique<Win32Deletable>(std::move(target), std::move(watch_), full), {}};
  }

 private:
  UniqueHandle file_;
  UniqueHandle unbuffered_;
  UniqueHandle watch_;
  const std::uint64_t size_;
  const FileMetadata metadata_;
  std::mutex bounceMutex_;
  SecretBytes bounce_;  // may hold plain bytes of an encryption's input
};

// The input over its open handle, with what its output takes from it, and
// a second way to it past the cache where the system honours one, chosen
// once for the whole job.
Opened<Win32InputFile> InputOver(UniqueHandle file, const std::wstring& full, std::uint64_t size,
                                 UniqueHandle watch = {}) {
  FileMetadata metadata;
  if (!ReadMetadata(file.get(), full, &metadata)) return {nullptr, LastError(FileOp::Read)};
  UniqueHandle unbuffered(CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_NO_BUFFERING, nullptr));
  if (unbuffered && !HonoursUnbuffered(unbuffered.get())) unbuffered.reset();
  return {std::make_unique<Win32InputFile>(std::move(file), std::move(unbuffered), std::move(watch), size,
                                           std::move(metadata)),
          {}};
}

// One name of ours found by the sweep. A running job holds its files open
// sharing no delete: this open fails then, and what cannot be opened so is
// left as it is.
void Sweep(const std::wstring& folder, const std::wstring& name, const OurName& our) {
  const std::wstring path = folder + name;
  UniqueHandle file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  FileIdentity now;
  // A Unix link under Wine: any move or delete here would reach its target.
  const bool taken = file && IdentityOf(file.get(), &now) && !ReachedThroughLink(file.get(), path);
  switch (JudgeLeftover(our, now, taken)) {
    case Leftover::Leave: break;
    case Leftover::Remove: MarkForDelete(file.get(), true); break;
    case Leftover::PutBack: (void)PutBackThrough(file.get(), path, our); break;
  }
}

}  // namespace

Opened<InputFile> Win32FileSystem::OpenRead(const std::wstring& path) {
  const std::wstring full = LongPath(path);
  if (full.empty()) return {nullptr, FileError::Win32(ERROR_INVALID_NAME, FileOp::Open)};
  UniqueHandle file = OpenShared(full);
  if (!file) return {nullptr, LastError(FileOp::Open)};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return {nullptr, LastError(FileOp::Identify)};
  Opened<Win32InputFile> input = InputOver(std::move(file), full, static_cast<std::uint64_t>(size.QuadPart));
  return {std::move(input.file), input.error};
}

Taken Win32FileSystem::OpenHeld(const std::wstring& path) {
  Taken taken;
  const std::wstring full = LongPath(path);
  if (full.empty()) {
    taken.error = FileError::Win32(ERROR_INVALID_NAME, FileOp::Open);
    return taken;
  }
  // The path itself, before the open follows it.
  const DWORD attributes = GetFileAttributesW(full.c_str());
  const bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // Shared for reading only: no other program may write, rename or delete
  // it while the job runs.
  UniqueHandle file = OpenShared(full);
  if (!file) {
    taken.error = LastError(FileOp::Open);
    if (HeldByAnother(GetLastError())) taken.refused = Outcome::InUse;
    return taken;
  }
  if (TakeLock(file.get()) == Lock::HeldElsewhere) {
    taken.refused = Outcome::InUse;
    return taken;
  }
  if (!IdentityOf(file.get(), &taken.seen)) {
    taken.error = LastError(FileOp::Identify);
    return taken;
  }
  taken.seen.symbolicLink = taken.seen.symbolicLink || link || ReachedThroughLink(file.get(), full);
  UniqueHandle watch = WatchOf(file.get(), full, taken.seen);
  Opened<Win32InputFile> input = InputOver(std::move(file), full, taken.seen.size, std::move(watch));
  taken.file = std::move(input.file);
  taken.error = input.error;
  return taken;
}

PathKind Win32FileSystem::Kind(const std::wstring& path, FileError* error) {
  const std::wstring full = LongPath(path);
  const DWORD attributes = full.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (full.empty()) SetLastError(ERROR_INVALID_NAME);
    if (Missing(GetLastError())) return PathKind::Missing;
    *error = LastError(FileOp::Identify);
    return PathKind::Other;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return PathKind::File;
  *error = FileError::Own(OwnError::NotAFile, FileOp::Identify);
  return PathKind::Other;
}

// With the right to set it aside at the commit, which goes through this
// handle. A file that another program writes to, or holds without sharing
// its delete, is refused, and so are a read-only file (the system's own
// moves do not replace it) and a name that Wine shows as its Unix link's
// target (the handle would move the target, not the link): each says so.
Hold Win32FileSystem::HoldExisting(const std::wstring& path) {
  Hold held;
  const std::wstring full = LongPath(path);
  if (full.empty()) {
    held.error = FileError::Win32(ERROR_INVALID_NAME, FileOp::Hold);
    return held;
  }
  UniqueHandle file = OpenToSetAside(full);
  if (!file) {
    held.error =
        HeldByAnother(GetLastError()) ? FileError::Own(OwnError::HeldElsewhere, FileOp::Hold) : LastError(FileOp::Hold);
  } else if (TakeLock(file.get()) == Lock::HeldElsewhere) {
    held.error = FileError::Own(OwnError::HeldElsewhere, FileOp::Hold);
  } else if (!IdentityOf(file.get(), &held.seen)) {
    held.error = LastError(FileOp::Identify);
  } else if (AttributesOf(file.get()) & FILE_ATTRIBUTE_READONLY) {
    held.error = FileError::Own(OwnError::ReadOnly, FileOp::Hold);
  } else if (ReachedThroughLink(file.get(), full)) {
    held.error = FileError::Own(OwnError::Link, FileOp::Hold);
  } else {
    held.hold = std::make_unique<Win32Hold>(std::move(file));
  }
  return held;
}

FileError Win32FileSystem::Identify(const std::wstring& path, FileIdentity* seen) {
  const std::wstring full = LongPath(path);
  if (full.empty()) return FileError::Win32(ERROR_INVALID_NAME, FileOp::Identify);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  UniqueHandle file(CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file || !IdentityOf(file.get(), seen)) return LastError(FileOp::Identify);
  seen->symbolicLink = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return {};
}

Opened<TempFile> Win32FileSystem::CreateTemp(const std::wstring& finalPath) {
  // The output's folder, so the rename never crosses volumes. A new file
  // takes the folder's permissions, as any file made there does.
  const std::wstring full = LongPath(finalPath);
  if (full.empty()) return {nullptr, FileError::Win32(ERROR_INVALID_NAME, FileOp::Create)};
  return CreateWin32Temp(FolderOf(full));
}

// Asked only once the system refused a job the file.
std::vector<std::wstring> Win32FileSystem::WhoHolds(const std::wstring& path) {
  const std::wstring full = LongPath(path);
  return full.empty() ? std::vector<std::wstring>{} : ProgramsHolding(full, SystemRestartManager());
}

void Win32FileSystem::RemoveLeftovers(const std::wstring& path) {
  const std::wstring full = LongPath(path);
  if (full.empty()) return;
  const std::wstring folder = FolderOf(full);
  // Judged once the listing is done, since a put-back renames in the folder.
  std::vector<std::pair<std::wstring, OurName>> found;
  WIN32_FIND_DATAW entry{};
  FindHandle search(FindFirstFileW((folder + L".ferrune-*").c_str(), &entry));
  if (!search) return;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (std::optional<OurName> our = ParseOurName(entry.cFileName)) found.emplace_back(entry.cFileName, *our);
  } while (FindNextFileW(search.get(), &entry));
  search.reset();
  for (const auto& [name, our] : found) Sweep(folder, name, our);
}

}  // namespace ferrune
