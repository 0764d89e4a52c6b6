#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/job_pause.h"
#include "core/page_alignment.h"
#include "core/secret_bytes.h"
#include "core/temp_name.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_aside.h"
#include "platform/posix/posix_io.h"
#include "platform/posix/posix_temp_file.h"

namespace ferrune {
namespace {

using Removal = DeletableFile::Removal;

// Deletes by setting the file aside first, under a name that tells what it
// must be, and looking at what moved: a file saved under the input's name
// at that moment goes back, never deleted, and a process that dies in
// between leaves it for a later sweep to put back. Only this job deletes it.
class PosixDeletable final : public DeletableFile {
 public:
  PosixDeletable(UniqueFd fd, std::string native) : fd_(std::move(fd)), native_(std::move(native)) {}

  // What the name leads to now, not what the open file is.
  FileError Identity(FileIdentity* named) override {
    struct stat st {};
    if (::lstat(native_.c_str(), &st) == 0) {
      *named = IdentityOf(st);
    } else if (errno == ENOENT) {
      *named = {};
    } else {
      return Errno(FileOp::Identify);
    }
    return {};
  }

  bool Held(FileIdentity* held) override {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) return false;
    *held = IdentityOf(st);
    return true;
  }

  Removed Delete(const FileIdentity& expected, const std::function<bool()>& outputStands) override {
    // The last look before the move, through the job's own descriptor, the
    // change time included: nothing later can look as closely.
    struct stat before {};
    if (::fstat(fd_.get(), &before) != 0) return {Removal::Failed, Errno(FileOp::Identify), {}};
    // No name leads to it: another program removed it, or saved a file
    // over its name, which stays.
    struct stat named {};
    const bool shows = ::lstat(native_.c_str(), &named) == 0;
    if (before.st_nlink == 0) return {shows ? Removal::Changed : Removal::Gone, {}, {}};
    // Its name no longer leads to it, but another does.
    if (!shows || !SameFile(IdentityOf(named), IdentityOf(before))) return {Removal::Moved, {}, {}};
    if (before.st_nlink != 1) return {Removal::OtherNames, {}, {}};
    if (!SameContent(IdentityOf(before), expected)) return {Removal::Changed, {}, {}};
    // From here any other program's open of the file breaks the lease.
    const WriteLease lease(fd_.get());
    if (lease.Refused()) return {Removal::OpenElsewhere, {}, {}};
    const NativeAside aside = AsideOf(AsideKind::Delete, expected, native_);
    if (const FileError moved = RenameNoReplace(native_, aside.path, FileOp::SetAside); !moved.ok()) {
      if (moved.code != ENOENT) return {Removal::Failed, moved, {}};
      // The name went just now: renamed, or removed.
      return {::fstat(fd_.get(), &before) == 0 && before.st_nlink > 0 ? Removal::Moved : Removal::Gone, {}, {}};
    }
    struct stat renamed {};
    const bool lookedAfterMove = ::fstat(fd_.get(), &renamed) == 0;
    PauseForTest(JobStep::Removing);
    struct stat moved {
    }, now{};
    const bool same = lookedAfterMove && ::lstat(aside.path.c_str(), &moved) == 0 && ::fstat(fd_.get(), &now) == 0 &&
                      SameFile(IdentityOf(moved), IdentityOf(now)) && !S_ISLNK(moved.st_mode);
    // Our move changed the change time; any change after it moves it again.
    const bool unchanged = same && now.st_nlink == 1 && SameContentMoved(IdentityOf(now), expected) &&
                           TimeOf(now.st_ctim) == TimeOf(renamed.st_ctim);
    const bool intact = lease.Intact();
    const bool outputThere = unchanged && intact && outputStands();
    FileError refused;
    if (outputThere) {
      // Checked: from here on a second interrupt may finish the delete.
      const int slot = RegisterNamed(aside.path);
      const bool unlinked = ::unlink(aside.path.c_str()) == 0;
      refused = unlinked ? FileError{} : Errno(FileOp::Delete);
      UnregisterNamed(slot);
      if (unlinked) {
        const FileError synced = SyncFolder(NativeFolderOf(native_));
        return {synced.ok() ? Removal::Deleted : Removal::DeletedNotDurable, synced, {}};
      }
    }
    // Not the file that was read, or the system refused: back where it was,
    // or beside it under a visible name when that one is taken again.
    const PutBackResult back = PutBackNative(aside.path, aside.name);
    Removed kept{Removal::Failed, back.error.ok() ? refused : back.error, back.displaced};
    if (same && now.st_nlink != 1) {
      kept.removal = Removal::OtherNames;
    } else if (!unchanged) {
      kept.removal = Removal::Changed;
    } else if (!intact) {
      kept.removal = Removal::OpenElsewhere;
    } else if (!outputThere) {
      kept.removal = Removal::OutputGone;
    }
    return kept;
  }

 private:
  UniqueFd fd_;  // the job's hold, kept until the delete is done
  const std::string native_;
};

// Drops what the cache holds of [offset, offset + length): the system drops
// only whole pages inside the range it is given, so the range is widened to
// whole pages first.
void DropCachedPages(int fd, std::uint64_t offset, std::size_t length) {
  static const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE) > 0 ? ::sysconf(_SC_PAGESIZE) : 4096);
  const std::uint64_t start = offset - offset % page;
  const std::uint64_t end = (offset + length + page - 1) / page * page;
  ::posix_fadvise(fd, static_cast<off_t>(start), static_cast<off_t>(end - start), POSIX_FADV_DONTNEED);
}

class PosixInputFile final : public HeldFile {
 public:
  PosixInputFile(UniqueFd fd, const struct stat& st)
      : fd_(std::move(fd)), size_(static_cast<std::uint64_t>(st.st_size)) {
    metadata_.permissions = PermissionsOf(st);
    metadata_.writeTime = TimeOf(st.st_mtim);
    // A second way to the same file, past the cache, chosen once for the
    // whole job: none where the file system refuses it.
    direct_.reset(::open(("/proc/self/fd/" + std::to_string(fd_.get())).c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC));
  }
  std::uint64_t Size() const override { return size_; }
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(fd_.get(), offset, buffer, length);
  }
  // From the disk: through the direct descriptor, else once the cache has
  // dropped what it held of that range (clean pages, so it can). A direct
  // read the system refuses after all goes the other way.
  FileError ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (direct_) {
      std::lock_guard lock(bounceMutex_);
      errno = 0;
      if (ReadThroughPages(offset, buffer, length, bounce_,
                           [&](std::uint64_t at, std::uint8_t* pages, std::size_t count) {
                             return PreadOnce(direct_.get(), at, pages, count);
                           })) {
        return {};
      }
      if (errno != EINVAL)
        return errno == 0 ? FileError::Own(OwnError::Shrank, FileOp::ReadPastCache) : Errno(FileOp::ReadPastCache);
    }
    DropCachedPages(fd_.get(), offset, length);
    FileError read = ReadAtOffset(fd_.get(), offset, buffer, length);
    if (!read.ok()) read.op = FileOp::ReadPastCache;
    return read;
  }
  FileMetadata Metadata() const override { return metadata_; }
  Opened<DeletableFile> ForDelete(const std::wstring& path) override {
    std::string native;
    if (!Native(path, &native)) return {nullptr, FileError::Posix(EINVAL, FileOp::Delete)};
    // The lease on the input needs it open only once.
    direct_.Close();
    return {std::make_unique<PosixDeletable>(std::move(fd_), std::move(native)), {}};
  }

 private:
  UniqueFd fd_;
  UniqueFd direct_;
  const std::uint64_t size_;
  FileMetadata metadata_;
  std::mutex bounceMutex_;
  SecretBytes bounce_;  // may hold plain bytes of an encryption's input
};

// A regular file opened for reading, without hanging on a FIFO.
UniqueFd OpenRegular(const std::string& native, struct stat* st, FileError* error) {
  // O_NONBLOCK so that a FIFO does not hang the open; it is refused below.
  UniqueFd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) {
    *error = Errno(FileOp::Open);
    return fd;
  }
  if (::fstat(fd.get(), st) != 0) {
    *error = Errno(FileOp::Identify);
    return UniqueFd();
  }
  if (!S_ISREG(st->st_mode) || st->st_size < 0) {
    *error = FileError::Own(OwnError::NotAFile, FileOp::Open);
    return UniqueFd();
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    *error = Errno(FileOp::Open);
    return UniqueFd();
  }
  return fd;
}

}  // namespace

Opened<InputFile> PosixFileSystem::OpenRead(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return {nullptr, FileError::Posix(EINVAL, FileOp::Open)};
  struct stat st {};
  FileError error;
  UniqueFd fd = OpenRegular(native, &st, &error);
  if (!fd) return {nullptr, error};
  return {std::make_unique<PosixInputFile>(std::move(fd), st), {}};
}

Taken PosixFileSystem::OpenHeld(const std::wstring& path) {
  Taken taken;
  std::string native;
  if (!Native(path, &native)) {
    taken.error = FileError::Posix(EINVAL, FileOp::Open);
    return taken;
  }
  // The path itself, before the open follows it: deleting through a link
  // would delete the link only.
  struct stat named {};
  const bool link = ::lstat(native.c_str(), &named) == 0 && S_ISLNK(named.st_mode);
  struct stat st {};
  UniqueFd fd = OpenRegular(native, &st, &taken.error);
  if (!fd) return taken;
  if (TryLock(fd.get()) == LockResult::HeldElsewhere) {
    taken.refused = Outcome::InUse;
    return taken;
  }
  // A write within the file system's time granularity of now might not move
  // the write time again: the identity is taken once that has passed.
  if (WaitPastTimeGranularity(st) && ::fstat(fd.get(), &st) != 0) {
    taken.error = Errno(FileOp::Identify);
    return taken;
  }
  taken.seen = IdentityOf(st);
  taken.seen.symbolicLink = link;
  taken.file = std::make_unique<PosixInputFile>(std::move(fd), st);
  return taken;
}

PathKind PosixFileSystem::Kind(const std::wstring& path, FileError* error) {
  std::string native;
  if (!Native(path, &native)) {
    *error = FileError::Posix(EINVAL, FileOp::Identify);
    return PathKind::Other;
  }
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) {
    if (errno == ENOENT) return PathKind::Missing;
    *error = Errno(FileOp::Identify);
    return PathKind::Other;
  }
  if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return PathKind::File;
  *error = FileError::Own(OwnError::NotAFile, FileOp::Identify);
  return PathKind::Other;
}

FileError PosixFileSystem::Identify(const std::wstring& path, FileIdentity* seen) {
  std::string native;
  if (!Native(path, &native)) return FileError::Posix(EINVAL, FileOp::Identify);
  struct stat named {
  }, st{};
  if (::lstat(native.c_str(), &named) != 0 || ::stat(native.c_str(), &st) != 0) return Errno(FileOp::Identify);
  *seen = IdentityOf(st);
  seen->symbolicLink = S_ISLNK(named.st_mode);
  return {};
}

// Keeps other jobs off an existing file: an flock, advisory, so it binds
// only zrv itself. A file that cannot be opened or locked here (no read
// permission, a link, a file system without flock) is taken without one.
Hold PosixFileSystem::HoldExisting(const std::wstring& path) {
  Hold held;
  std::string native;
  if (!Native(path, &native)) {
    held.error = FileError::Posix(EINVAL, FileOp::Hold);
    return held;
  }
  UniqueFd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
  if (fd && TryLock(fd.get()) == LockResult::HeldElsewhere) {
    held.error = FileError::Own(OwnError::HeldElsewhere, FileOp::Hold);
    return held;
  }
  // What the name holds, a link included: that is what a commit replaces.
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) {
    held.error = Errno(FileOp::Identify);
    return held;
  }
  held.seen = IdentityOf(st);
  held.hold = std::make_unique<PosixHold>(std::move(fd));
  return held;
}

Opened<TempFile> PosixFileSystem::CreateTemp(const std::wstring& finalPath) {
  std::string native;
  if (!Native(finalPath, &native)) return {nullptr, FileError::Posix(EINVAL, FileOp::Create)};
  return CreatePosixTemp(NativeFolderOf(native), unnamedTemps_);
}

void PosixFileSystem::RemoveLeftovers(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return;
  const std::string folder = NativeFolderOf(native);
  std::vector<std::pair<std::string, OurName>> found;
  {
    const UniqueDir dir(::opendir(folder.c_str()));
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir.get())) {
      if (std::optional<OurName> our = ParseOurName(FromNativePath(entry->d_name))) {
        found.emplace_back(entry->d_name, std::move(*our));
      }
    }
  }
  for (const auto& [name, our] : found) {
    const std::string candidate = folder + "/" + name;
    struct stat named {
    }, opened{};
    // Only plain files are ours to make; a temporary file is ours only
    // while it is this user's.
    if (::lstat(candidate.c_str(), &named) != 0 || !S_ISREG(named.st_mode) ||
        (our.kind == OurName::Kind::Temp && named.st_uid != ::geteuid())) {
      continue;
    }
    // A running job holds its files open and locked. One this sweep cannot
    // open or lock (another user's, a file system that refuses locks) may
    // be such a job's: it stays as it is.
    UniqueFd fd(::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
    const bool taken = fd && TryLock(fd.get()) == LockResult::Taken && ::fstat(fd.get(), &opened) == 0 &&
                       SameFile(IdentityOf(opened), IdentityOf(named));
    switch (JudgeLeftover(our, IdentityOf(named), taken)) {
      case Leftover::Leave: break;
      case Leftover::Remove: ::unlink(candidate.c_str()); break;
      case Leftover::PutBack: (void)PutBackNative(candidate, our); break;
    }
  }
}

std::vector<std::wstring> PosixFileSystem::WhoHolds(const std::wstring& path) {
  std::string native;
  struct stat st {};
  if (!Native(path, &native) || ::stat(native.c_str(), &st) != 0) return {};
  return LockHolders(st);
}

}  // namespace ferrune
