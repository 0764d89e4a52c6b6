#include "platform/posix/posix_temp_file.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "core/job_pause.h"
#include "core/page_alignment.h"
#include "core/secret_bytes.h"
#include "core/temp_name.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_aside.h"
#include "platform/posix/posix_io.h"

namespace ferrune {
namespace {

// Names of this process's jobs, for a signal handler when the program ends
// at once. Plain arrays: the handler may touch nothing else.
constexpr int kNamedSlots = 4;
constexpr std::size_t kPathBytes = 4096;
char namedPaths[kNamedSlots][kPathBytes];
char namedBack[kNamedSlots][kPathBytes];  // empty: remove; else put back there
volatile sig_atomic_t namedUsed[kNamedSlots];

std::string NewTempPath(const std::string& folder) {
  return folder + "/" + ToNativePath(NewTempFileName(static_cast<std::uint32_t>(::getpid())));
}

// A file system that cannot keep a file's own write time, or permissions,
// says so with one of these; that is what it keeps, not a failure.
bool KeepsNoSuch(int error) { return error == EPERM || error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP; }

// The file keeps an exclusive flock for its whole life where the file
// system takes one: that is how a sweep in another process tells it from a
// leftover.
class PosixTempFile final : public TempFile {
 public:
  // `path` is empty for a file that has no name yet (O_TMPFILE).
  PosixTempFile(UniqueFd fd, std::string folder, std::string path)
      : folder_(std::move(folder)), path_(std::move(path)), fd_(std::move(fd)) {
    if (!path_.empty()) slot_ = RegisterNamed(path_);
    // A second way to the same file, past the cache; none where the file
    // system refuses it. The choice holds for the file's whole life.
    direct_.reset(::open(path_.empty() ? ProcPath().c_str() : path_.c_str(), O_RDWR | O_DIRECT | O_CLOEXEC));
  }
  ~PosixTempFile() override { Drop(); }

  // Whole pages from a page, and large: such writes (a decryption's chunks)
  // go straight from the buffer to the disk, which saves the copy and most
  // of the kernel's work for the cache. The system keeps the two
  // descriptors coherent; the flush stays on the first.
  FileError WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    if (direct_ && !writesCached_.load(std::memory_order_relaxed) && length >= kDirectFrom &&
        OnPages(offset, data, length)) {
      const FileError written = WriteAtOffset(direct_.get(), offset, data, length);
      if (written.ok() || written.code != EINVAL) return written;
      writesCached_ = true;
    }
    return WriteAtOffset(fd_.get(), offset, data, length);
  }

  // Past the cache, through a buffer of whole pages where the caller's are
  // not: the system writes what it still caches for that range first, then
  // reads the disk. A read the direct way refuses after all reads the disk
  // the other way: flushed, and dropped from the cache first.
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (direct_) {
      errno = 0;
      if (OnPages(offset, buffer, length)) {
        const FileError read = ReadAtOffset(direct_.get(), offset, buffer, length);
        if (read.ok() || read.code != EINVAL) return read;
      } else if (ReadThroughPages(offset, buffer, length)) {
        return {};
      } else if (errno != EINVAL) {
        return errno == 0 ? FileError::Own(OwnError::Shrank, FileOp::Read) : Errno(FileOp::Read);
      }
      if (const FileError dropped = SyncAndDrop(); !dropped.ok()) return dropped;
    }
    return ReadAtOffset(fd_.get(), offset, buffer, length);
  }

  // Without the direct way, what the cache holds of the file goes once it is
  // on the disk, so that a read after this flush reads the disk.
  FileError Flush() override {
    if (const FileError synced = SyncDescriptor(fd_.get()); !synced.ok()) return synced;
    if (!direct_) ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_DONTNEED);
    return {};
  }

  bool ReadsPastCache() const override { return static_cast<bool>(direct_); }

  FileError Identity(FileIdentity* now) override {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) return Errno(FileOp::Identify);
    *now = IdentityOf(st);
    return {};
  }

  // The input's permissions (never set-id bits) and write time, while
  // nobody else can reach the file, so that it appears with them.
  FileError Stamp(const FileMetadata& from) override {
    if (from.permissions != 0 && ::fchmod(fd_.get(), from.permissions & 0777) != 0 && !KeepsNoSuch(errno)) {
      return Errno(FileOp::Stamp);
    }
    if (!from.writeTime) return {};
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(from.writeTime->seconds), long{from.writeTime->nanoseconds}}};
    if (::futimens(fd_.get(), times) == 0 || KeepsNoSuch(errno)) return {};
    return Errno(FileOp::Stamp);
  }

  // A placed file stays open until this goes, so that its identity holds:
  // a file system that renumbers what nobody has open (FUSE) cannot renumber it.
  Committed Commit(const std::wstring& finalPath, const Replacing& replacing) override {
    std::string native;
    Committed placed{Outcome::CannotWrite, FileError::Posix(EINVAL, FileOp::Commit), {}};
    if (Native(finalPath, &native)) {
      placed = replacing.what == Replacing::What::File ? Replace(native, replacing) : PlaceNew(native);
    }
    if (placed.outcome != Outcome::Success) {
      Drop();
      return placed;
    }
    // The flush has already reported any failed write.
    direct_.Close();
    if (const FileError synced = SyncFolder(NativeFolderOf(native)); !synced.ok()) {
      placed.outcome = Outcome::NotDurable;
      KeepFirst(&placed.error, synced);
    }
    return placed;
  }

 private:
  static constexpr std::size_t kDirectFrom = std::size_t{64} << 10;

  std::string ProcPath() const { return "/proc/self/fd/" + std::to_string(fd_.get()); }

  FileError SyncAndDrop() {
    if (const FileError synced = SyncDescriptor(fd_.get()); !synced.ok()) return synced;
    ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_DONTNEED);
    return {};
  }

  bool ReadThroughPages(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
    std::lock_guard lock(bounceMutex_);
    return ferrune::ReadThroughPages(offset, buffer, length, bounce_,
                                     [&](std::uint64_t at, std::uint8_t* pages, std::size_t count) {
                                       return PreadOnce(direct_.get(), at, pages, count);
                                     });
  }

  // The name is the user's once the file stands there: it is no temporary file.
  void Placed() {
    UnregisterNamed(std::exchange(slot_, -1));
    path_.clear();
  }

  // Where nothing stands: an unnamed file is linked there, which never
  // replaces; a named one renamed without replacing, atomically where the
  // system can.
  Committed PlaceNew(const std::string& finalPath) {
    const auto refused = [](FileError error) {
      const bool taken = error.code == EEXIST;
      return Committed{taken ? Outcome::OutputChanged : Outcome::CannotWrite, taken ? FileError{} : error, {}};
    };
    if (path_.empty()) {
      if (::linkat(AT_FDCWD, ProcPath().c_str(), AT_FDCWD, finalPath.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return {Outcome::Success, {}, {}};
      }
      return refused(Errno(FileOp::Commit));
    }
    bool placed = false;
#ifdef __linux__
    placed = ::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) == 0;
    if (!placed && errno != EINVAL && errno != ENOSYS) return refused(Errno(FileOp::Commit));
#endif
    // Where the system cannot rename without replacing: a link never replaces.
    if (!placed && ::link(path_.c_str(), finalPath.c_str()) == 0) {
      ::unlink(path_.c_str());
      placed = true;
    }
    if (!placed && errno == EEXIST) return refused(Errno(FileOp::Commit));
    if (!placed) {
      if (const FileError renamed = RenameNoReplace(path_, finalPath, FileOp::Commit); !renamed.ok()) {
        return refused(renamed);
      }
    }
    Placed();
    return {Outcome::Success, {}, {}};
  }

  // Replaces only the file the user agreed to replace: it is set aside under
  // a name that says it must go back, looked at there, and only once the
  // output stands in its place is it removed. Whatever else took its name
  // goes back, or beside it under a visible name.
  Committed Replace(const std::string& finalPath, const Replacing& replacing) {
    const FileIdentity& expected = replacing.file;
    struct stat st {};
    if (::lstat(finalPath.c_str(), &st) != 0) {
      // Gone: nothing is lost by putting the output there.
      return errno == ENOENT ? PlaceNew(finalPath) : Committed{Outcome::CannotWrite, Errno(FileOp::Identify), {}};
    }
    if (!SameContent(IdentityOf(st), expected)) return {Outcome::OutputChanged, {}, {}};
    // The job's hold, where it could open the file: a lease on it tells of
    // any other program's open from here to the delete. A reader that has it
    // open already does no harm: the user agreed to replace what it reads.
    auto* hold = dynamic_cast<PosixHold*>(replacing.hold);
    std::optional<WriteLease> lease;
    if (hold && hold->owned()) lease.emplace(hold->owned().get());
    if (lease && lease->Refused()) lease.reset();
    const NativeAside aside = AsideOf(AsideKind::Replace, expected, finalPath);
    if (const FileError moved = RenameNoReplace(finalPath, aside.path, FileOp::SetAside); !moved.ok()) {
      return moved.code == ENOENT ? PlaceNew(finalPath) : Committed{Outcome::CannotWrite, moved, {}};
    }
    // Ended at once from here, the process leaves it to go back.
    const int slot = RegisterSetAside(aside.path, finalPath);
    struct stat renamed {};
    const bool lookedAfterMove = ::lstat(aside.path.c_str(), &renamed) == 0;
    PauseForTest(JobStep::Replacing);
    struct stat moved {};
    // Our move changed the change time; any change after it moves it again.
    const bool agreed = lookedAfterMove && ::lstat(aside.path.c_str(), &moved) == 0 &&
                        SameContentMoved(IdentityOf(moved), expected) &&
                        TimeOf(moved.st_ctim) == TimeOf(renamed.st_ctim) && (!lease || lease->Intact());
    Committed placed = agreed ? PlaceNew(finalPath) : Committed{Outcome::OutputChanged, {}, {}};
    if (placed.outcome == Outcome::Success && ::unlink(aside.path.c_str()) != 0) placed.error = Errno(FileOp::Delete);
    if (placed.outcome != Outcome::Success || !placed.error.ok()) {
      const PutBackResult back = PutBackNative(aside.path, aside.name);
      placed.displaced = back.displaced;
      KeepFirst(&placed.error, back.error);
    }
    UnregisterNamed(slot);
    return placed;
  }

  // Closes the file; a named one is removed.
  void Drop() {
    direct_.Close();
    fd_.Close();
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
    UnregisterNamed(std::exchange(slot_, -1));
  }

  const std::string folder_;
  std::string path_;
  UniqueFd fd_;
  UniqueFd direct_;
  std::atomic<bool> writesCached_{false};  // the direct way refused a write
  int slot_ = -1;
  std::mutex bounceMutex_;
  SecretBytes bounce_;  // may hold plain bytes of a decryption
};

int Register(const std::string& path, const std::string& back) {
  if (path.size() >= kPathBytes || back.size() >= kPathBytes) return -1;
  for (int i = 0; i < kNamedSlots; ++i) {
    if (namedUsed[i]) continue;
    std::memcpy(namedPaths[i], path.c_str(), path.size() + 1);
    std::memcpy(namedBack[i], back.c_str(), back.size() + 1);
    namedUsed[i] = 1;
    return i;
  }
  return -1;
}

}  // namespace

int RegisterNamed(const std::string& path) { return Register(path, std::string()); }

int RegisterSetAside(const std::string& path, const std::string& back) {
  return back.empty() ? -1 : Register(path, back);
}

void UnregisterNamed(int slot) {
  if (slot >= 0) namedUsed[slot] = 0;
}

void ClearNamedNow() {
  for (int i = 0; i < kNamedSlots; ++i) {
    if (!namedUsed[i]) continue;
    if (namedBack[i][0] == '\0') {
      ::unlink(namedPaths[i]);
    } else {
#ifdef __linux__
      ::syscall(SYS_renameat2, AT_FDCWD, namedPaths[i], AT_FDCWD, namedBack[i], RENAME_NOREPLACE);
#endif
    }
  }
}

Opened<TempFile> CreatePosixTemp(const std::string& folder, bool unnamed) {
#ifdef O_TMPFILE
  // Unnamed: it goes with the process however that ends. It gets a name at
  // the commit through /proc, so without /proc it is not used.
  if (unnamed) {
    UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd && ::access(("/proc/self/fd/" + std::to_string(fd.get())).c_str(), F_OK) == 0) {
      return {std::make_unique<PosixTempFile>(std::move(fd), folder, std::string()), {}};
    }
    if (!fd && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return {nullptr, Errno(FileOp::Create)};
  }
#endif
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string path = NewTempPath(folder);
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
      if (errno != EEXIST) return {nullptr, Errno(FileOp::Create)};
      continue;
    }
    // A sweep elsewhere may have taken it between the open and the lock;
    // then it is its to remove, and this name is not used. Where locks are
    // refused the file is used without one: sweeps then leave it alone.
    const LockResult lock = TryLock(fd.get());
    struct stat mine {
    }, named{};
    if (lock != LockResult::HeldElsewhere && ::fstat(fd.get(), &mine) == 0 && ::lstat(path.c_str(), &named) == 0 &&
        SameFile(IdentityOf(mine), IdentityOf(named))) {
      return {std::make_unique<PosixTempFile>(std::move(fd), folder, std::move(path)), {}};
    }
  }
  return {nullptr, FileError::Posix(EEXIST, FileOp::Create)};
}

}  // namespace ferrune
