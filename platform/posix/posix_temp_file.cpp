#include "platform/posix/posix_temp_file.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "core/page_alignment.h"
#include "core/secret_bytes.h"
#include "core/temp_name.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_io.h"

namespace ferrune {
namespace {

// Named files of this process, for a signal handler to remove when the
// program ends at once. Plain arrays: the handler may touch nothing else.
constexpr int kNamedSlots = 4;
char namedPaths[kNamedSlots][4096];
volatile sig_atomic_t namedUsed[kNamedSlots];

std::string NewTempPath(const std::string& folder) {
  return folder + "/" + ToNativePath(NewTempFileName(static_cast<std::uint32_t>(::getpid())));
}

// The file keeps an exclusive flock for its whole life: that is how a sweep
// in another process tells it from a leftover.
class PosixTempFile final : public TempFile {
 public:
  // `path` is empty for a file that has no name yet (O_TMPFILE).
  PosixTempFile(UniqueFd fd, std::string folder, std::string path, std::uint32_t permissions)
      : folder_(std::move(folder)), path_(std::move(path)), permissions_(permissions), fd_(std::move(fd)) {
    if (!path_.empty()) slot_ = RegisterNamed(path_);
    // A second way to the same file, past the cache; none where the file
    // system refuses it.
    direct_.reset(::open(path_.empty() ? ProcPath().c_str() : path_.c_str(), O_RDWR | O_DIRECT | O_CLOEXEC));
  }
  ~PosixTempFile() override { Drop(); }

  // Whole pages from a page, and large: such writes (a decryption's chunks)
  // go straight from the buffer to the disk, which saves the copy and most
  // of the kernel's work for the cache. The system keeps the two
  // descriptors coherent; the flush stays on the first.
  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    if (Direct() && length >= kDirectFrom && OnPages(offset, data, length)) {
      errno = 0;
      if (WriteAtOffset(direct_.get(), offset, data, length)) return true;
      if (errno != EINVAL) return false;
      Refuse();
    }
    return WriteAtOffset(fd_.get(), offset, data, length);
  }

  // Past the cache whenever the file system takes it, through a buffer of
  // whole pages where the caller's are not: the system writes what it
  // still caches for that range first, then reads the disk.
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (Direct()) {
      errno = 0;
      if (OnPages(offset, buffer, length) ? ReadAtOffset(direct_.get(), offset, buffer, length)
                                          : ReadThroughPages(offset, buffer, length)) {
        return true;
      }
      if (errno != EINVAL) return false;
      Refuse();
    }
    return ReadAtOffset(fd_.get(), offset, buffer, length);
  }

  // Without the direct way, what the cache holds of the file goes once it is
  // on the disk, so that a read after this flush reads the disk.
  bool Flush() override {
    if (!SyncDescriptor(fd_.get())) return false;
    if (!Direct()) ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_DONTNEED);
    return true;
  }

  bool ReadsPastCache() const override { return Direct(); }

  Outcome Commit(const std::wstring& finalPath, const Replacing& replacing) override {
    std::string native;
    if (!Native(finalPath, &native)) {
      Drop();
      return Outcome::CannotWrite;
    }
    // Given its permissions while nobody else can reach it, so that it
    // appears with them. A file system without them keeps 0600.
    if (permissions_ != 0) ::fchmod(fd_.get(), permissions_);
    const Outcome placed = Place(native, replacing);
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

  bool Direct() const { return direct_ && !directRefused_.load(std::memory_order_relaxed); }
  void Refuse() { directRefused_ = true; }
  std::string ProcPath() const { return "/proc/self/fd/" + std::to_string(fd_.get()); }

  bool ReadThroughPages(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
    std::lock_guard lock(bounceMutex_);
    return ferrune::ReadThroughPages(offset, buffer, length, bounce_,
                                     [&](std::uint64_t at, std::uint8_t* pages, std::size_t count) {
                                       ssize_t moved;
                                       do {
                                         moved = ::pread(direct_.get(), pages, count, static_cast<off_t>(at));
                                       } while (moved < 0 && errno == EINTR);
                                       return moved;
                                     });
  }

  bool LinkUnnamed(const std::string& to) {
    return ::linkat(AT_FDCWD, ProcPath().c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }

  // An unnamed file can replace nothing: it gets a name of ours first.
  bool NameUnnamed() {
    for (int attempt = 0; attempt < 64; ++attempt) {
      std::string name = NewTempPath(folder_);
      if (LinkUnnamed(name)) {
        path_ = std::move(name);
        slot_ = RegisterNamed(path_);
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  // The name is ours once the file stands there: it is no temporary file.
  void Placed() {
    UnregisterNamed(std::exchange(slot_, -1));
    path_.clear();
  }

  Outcome Place(const std::string& finalPath, const Replacing& replacing) {
    switch (replacing.what) {
      case Replacing::What::Nothing: return PlaceNew(finalPath);
      case Replacing::What::File: return Replace(finalPath, replacing.file);
      case Replacing::What::Anything: break;
    }
    if (path_.empty() && !NameUnnamed()) return Outcome::CannotWrite;
    if (::rename(path_.c_str(), finalPath.c_str()) != 0) return Outcome::CannotWrite;
    Placed();
    return Outcome::Success;
  }

  Outcome PlaceNew(const std::string& finalPath) {
    if (path_.empty()) {
      if (LinkUnnamed(finalPath)) return Outcome::Success;
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

  // Replaces only the file the user agreed to replace: exchanged with it in
  // one step, the file that comes out is looked at, and put back if another
  // took its place in the meantime.
  Outcome Replace(const std::string& finalPath, const FileIdentity& expected) {
    struct stat st {};
    if (::lstat(finalPath.c_str(), &st) != 0) {
      // Gone: nothing is lost by putting the output there.
      return errno == ENOENT ? PlaceNew(finalPath) : Outcome::CannotWrite;
    }
    if (!SameContent(IdentityOf(st), expected)) return Outcome::OutputChanged;
    if (path_.empty() && !NameUnnamed()) return Outcome::CannotWrite;
#ifdef __linux__
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_EXCHANGE) == 0) {
      return TakeOutExchanged(finalPath, expected);
    }
    if (errno != EINVAL && errno != ENOSYS) return Outcome::CannotWrite;
#endif
    // No exchange on this system: the look above stands.
    if (::rename(path_.c_str(), finalPath.c_str()) != 0) return Outcome::CannotWrite;
    Placed();
    return Outcome::Success;
  }

  // After the exchange our name holds what stood under the final one.
  Outcome TakeOutExchanged(const std::string& finalPath, const FileIdentity& expected) {
    struct stat out {};
    const bool same = ::lstat(path_.c_str(), &out) == 0 && out.st_dev == expected.volume &&
                      out.st_ino == expected.index && static_cast<std::uint64_t>(out.st_size) == expected.size &&
                      IdentityOf(out).writeTime == expected.writeTime;
    if (same) {
      // What goes is the old file; the output stays under the final name.
      ::unlink(path_.c_str());
      Placed();
      return Outcome::Success;
    }
#ifdef __linux__
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_EXCHANGE) == 0) {
      return Outcome::OutputChanged;
    }
#endif
    // Back over the output, whatever it costs the output: the other file is
    // the user's. If even that fails, it stays under our name, never removed.
    if (::rename(path_.c_str(), finalPath.c_str()) != 0) UnregisterNamed(std::exchange(slot_, -1));
    path_.clear();
    return Outcome::OutputChanged;
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
  const std::uint32_t permissions_;
  UniqueFd fd_;
  UniqueFd direct_;
  std::atomic<bool> directRefused_{false};
  int slot_ = -1;
  std::mutex bounceMutex_;
  SecretBytes bounce_;  // may hold plain bytes of a decryption
};

}  // namespace

int RegisterNamed(const std::string& path) {
  if (path.size() >= sizeof namedPaths[0]) return -1;
  for (int i = 0; i < kNamedSlots; ++i) {
    if (namedUsed[i]) continue;
    std::memcpy(namedPaths[i], path.c_str(), path.size() + 1);
    namedUsed[i] = 1;
    return i;
  }
  return -1;
}

void UnregisterNamed(int slot) {
  if (slot >= 0) namedUsed[slot] = 0;
}

void RemoveNamedTempsNow() {
  for (int i = 0; i < kNamedSlots; ++i) {
    if (namedUsed[i]) ::unlink(namedPaths[i]);
  }
}

std::unique_ptr<TempFile> CreatePosixTemp(const std::string& folder, std::uint32_t permissions, bool unnamed) {
#ifdef O_TMPFILE
  // Unnamed: it goes with the process however that ends. It gets a name at
  // the commit through /proc, so without /proc it is not used.
  if (unnamed) {
    UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd && TryLock(fd.get()) && ::access(("/proc/self/fd/" + std::to_string(fd.get())).c_str(), F_OK) == 0) {
      return std::make_unique<PosixTempFile>(std::move(fd), folder, std::string(), permissions);
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
    // then it is its to remove, and this name is not used.
    struct stat mine {
    }, named{};
    if (TryLock(fd.get()) && ::fstat(fd.get(), &mine) == 0 && ::lstat(path.c_str(), &named) == 0 &&
        mine.st_ino == named.st_ino && mine.st_dev == named.st_dev) {
      return std::make_unique<PosixTempFile>(std::move(fd), folder, std::move(path), permissions);
    }
  }
  return nullptr;
}

}  // namespace ferrune
