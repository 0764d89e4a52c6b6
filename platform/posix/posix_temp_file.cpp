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

// The system takes the file's own write time as a change it may keep or
// not: a file system that cannot keep it, or cannot keep permissions,
// says so with one of these.
bool CannotKeep(int error) { return error == EPERM || error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP; }

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
  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    if (direct_ && !writesCached_.load(std::memory_order_relaxed) && length >= kDirectFrom &&
        OnPages(offset, data, length)) {
      errno = 0;
      if (WriteAtOffset(direct_.get(), offset, data, length)) return true;
      if (errno != EINVAL) return false;
      writesCached_ = true;
    }
    return WriteAtOffset(fd_.get(), offset, data, length);
  }

  // Past the cache, through a buffer of whole pages where the caller's are
  // not: the system writes what it still caches for that range first, then
  // reads the disk. A read the direct way refuses after all reads the disk
  // the other way: flushed, and dropped from the cache first.
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (direct_) {
      errno = 0;
      if (OnPages(offset, buffer, length) ? ReadAtOffset(direct_.get(), offset, buffer, length)
                                          : ReadThroughPages(offset, buffer, length)) {
        return true;
      }
      if (errno != EINVAL || !SyncAndDrop()) return false;
    }
    return ReadAtOffset(fd_.get(), offset, buffer, length);
  }

  // Without the direct way, what the cache holds of the file goes once it is
  // on the disk, so that a read after this flush reads the disk.
  bool Flush() override {
    if (!SyncDescriptor(fd_.get())) return false;
    if (!direct_) ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_DONTNEED);
    return true;
  }

  bool ReadsPastCache() const override { return static_cast<bool>(direct_); }

  std::optional<FileIdentity> Identity() override {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) return std::nullopt;
    return IdentityOf(st);
  }

  // The input's permissions (never set-id bits) and write time, while
  // nobody else can reach the file, so that it appears with them.
  bool Stamp(const FileMetadata& from) override {
    if (from.permissions != 0 && ::fchmod(fd_.get(), from.permissions & 0777) != 0 && !CannotKeep(errno)) return false;
    if (!from.writeTime) return true;
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(*from.writeTime / 1000000000), *from.writeTime % 1000000000}};
    return ::futimens(fd_.get(), times) == 0 || CannotKeep(errno);
  }

  Outcome Commit(const std::wstring& finalPath, const Replacing& replacing) override {
    std::string native;
    if (!Native(finalPath, &native)) {
      Drop();
      return Outcome::CannotWrite;
    }
    const Outcome placed = replacing.what == Replacing::What::File ? Replace(native, replacing.file) : PlaceNew(native);
    if (placed != Outcome::Success) {
      Drop();
      return placed;
    }
    // The flush has already reported any failed write.
    direct_.Close();
    fd_.Close();
    return SyncFolder(NativeFolderOf(native)) ? Outcome::Success : Outcome::NotDurable;
  }

 private:
  static constexpr std::size_t kDirectFrom = std::size_t{64} << 10;

  std::string ProcPath() const { return "/proc/self/fd/" + std::to_string(fd_.get()); }

  bool SyncAndDrop() {
    if (!SyncDescriptor(fd_.get())) return false;
    ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_DONTNEED);
    return true;
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
  Outcome PlaceNew(const std::string& finalPath) {
    if (path_.empty()) {
      if (::linkat(AT_FDCWD, ProcPath().c_str(), AT_FDCWD, finalPath.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return Outcome::Success;
      }
      return errno == EEXIST ? Outcome::OutputChanged : Outcome::CannotWrite;
    }
    bool placed = false;
#ifdef __linux__
    placed = ::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) == 0;
    if (!placed && errno != EINVAL && errno != ENOSYS)
      return errno == EEXIST ? Outcome::OutputChanged : Outcome::CannotWrite;
#endif
    // Where the system cannot rename without replacing: a link never replaces.
    if (!placed && ::link(path_.c_str(), finalPath.c_str()) == 0) {
      ::unlink(path_.c_str());
      placed = true;
    }
    if (!placed && errno != EEXIST) placed = RenameNoReplace(path_, finalPath);
    if (!placed) return errno == EEXIST ? Outcome::OutputChanged : Outcome::CannotWrite;
    Placed();
    return Outcome::Success;
  }

  // Replaces only the file the user agreed to replace: it is set aside under
  // a name that says it must go back, looked at there, and only once the
  // output stands in its place is it removed. Whatever else took its name
  // goes back, or beside it under a visible name.
  Outcome Replace(const std::string& finalPath, const FileIdentity& expected) {
    struct stat st {};
    if (::lstat(finalPath.c_str(), &st) != 0) {
      // Gone: nothing is lost by putting the output there.
      return errno == ENOENT ? PlaceNew(finalPath) : Outcome::CannotWrite;
    }
    if (!SameContent(IdentityOf(st), expected)) return Outcome::OutputChanged;
    const NativeAside aside = AsideOf(AsideKind::Replace, expected, finalPath);
    if (!RenameNoReplace(finalPath, aside.path)) return errno == ENOENT ? PlaceNew(finalPath) : Outcome::CannotWrite;
    // Ended at once from here, the process leaves it to go back.
    const int slot = RegisterSetAside(aside.path, finalPath);
    PauseForTest(JobStep::Replacing);
    struct stat moved {};
    // The move changed its change time; the rest must be what was agreed on.
    const bool agreed =
        ::lstat(aside.path.c_str(), &moved) == 0 && IdentityKey(IdentityOf(moved)) == IdentityKey(expected);
    const Outcome placed = agreed ? PlaceNew(finalPath) : Outcome::OutputChanged;
    if (placed == Outcome::Success) {
      ::unlink(aside.path.c_str());
    } else {
      PutBackNative(aside.path, NativeFolderOf(finalPath), aside.name);
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

std::unique_ptr<TempFile> CreatePosixTemp(const std::string& folder, bool unnamed) {
#ifdef O_TMPFILE
  // Unnamed: it goes with the process however that ends. It gets a name at
  // the commit through /proc, so without /proc it is not used.
  if (unnamed) {
    UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd && ::access(("/proc/self/fd/" + std::to_string(fd.get())).c_str(), F_OK) == 0) {
      return std::make_unique<PosixTempFile>(std::move(fd), folder, std::string());
    }
    if (!fd && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return nullptr;
  }
#endif
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string path = NewTempPath(folder);
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
      if (errno != EEXIST) return nullptr;
      continue;
    }
    // A sweep elsewhere may have taken it between the open and the lock;
    // then it is its to remove, and this name is not used. Where locks are
    // refused the file is used without one: sweeps then leave it alone.
    const LockResult lock = TryLock(fd.get());
    struct stat mine {
    }, named{};
    if (lock != LockResult::HeldElsewhere && ::fstat(fd.get(), &mine) == 0 && ::lstat(path.c_str(), &named) == 0 &&
        mine.st_ino == named.st_ino && mine.st_dev == named.st_dev) {
      return std::make_unique<PosixTempFile>(std::move(fd), folder, std::move(path));
    }
  }
  return nullptr;
}

}  // namespace ferrune
