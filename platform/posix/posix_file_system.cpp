#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "core/page_alignment.h"
#include "platform/posix/native_path.h"

namespace ferrune {
namespace {

constexpr std::size_t kMaxIo = std::size_t{1} << 30;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // The result of close matters for written files: some file systems report
  // a failed write only there.
  bool Close() {
    if (fd_ < 0) return true;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

// `call` is pread or pwrite; a signal that breaks in is no failure.
template <typename Byte, typename Call>
bool TransferAt(int fd, std::uint64_t offset, Byte* bytes, std::size_t length, Call call) {
  while (length > 0) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    const ssize_t moved = call(fd, bytes, std::min(length, kMaxIo), static_cast<off_t>(offset));
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) return false;
    bytes += moved;
    offset += static_cast<std::uint64_t>(moved);
    length -= static_cast<std::size_t>(moved);
  }
  return true;
}

bool ReadAtOffset(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  return TransferAt(fd, offset, buffer, length, ::pread);
}

bool WriteAtOffset(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
  return TransferAt(fd, offset, data, length, ::pwrite);
}

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(fd_.get(), offset, buffer, length);
  }
  int ReleaseFd() { return fd_.Release(); }

 private:
  Fd fd_;
  const std::uint64_t size_;
};

// Named temporary files of this process, for a signal handler to remove when
// the program ends at once. Plain arrays: the handler may touch nothing else.
constexpr int kNamedSlots = 4;
char namedTemps[kNamedSlots][4096];
volatile sig_atomic_t namedUsed[kNamedSlots];

int RegisterNamed(const std::string& path) {
  if (path.size() >= sizeof namedTemps[0]) return -1;
  for (int i = 0; i < kNamedSlots; ++i) {
    if (namedUsed[i]) continue;
    std::memcpy(namedTemps[i], path.c_str(), path.size() + 1);
    namedUsed[i] = 1;
    return i;
  }
  return -1;
}

void UnregisterNamed(int slot) {
  if (slot >= 0) namedUsed[slot] = 0;
}

// The file keeps an exclusive flock for its whole life: that is how a
// cleanup in another process tells it from a leftover.
class PosixTempFile final : public TempFile {
 public:
  // `path` is empty for a file that has no name yet (O_TMPFILE).
  PosixTempFile(int fd, std::string folder, std::string path)
      : folder_(std::move(folder)), path_(std::move(path)), fd_(fd) {
    if (!path_.empty()) slot_ = RegisterNamed(path_);
    // A second way to the same file, for whole pages past the cache; -1
    // where the file system refuses it.
    direct_.Reset(::open(path_.empty() ? ProcPath().c_str() : path_.c_str(), O_RDWR | O_DIRECT | O_CLOEXEC));
  }
  ~PosixTempFile() override { Drop(); }
  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    return Transfer(offset, data, length, WriteAtOffset);
  }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return Transfer(offset, buffer, length, ReadAtOffset);
  }
  bool Flush() override {
    int result;
    do {
      result = ::fsync(fd_.get());
    } while (result != 0 && errno == EINTR);
    return result == 0;
  }

  // Puts the file under `finalPath`: over what stands there, or only where
  // nothing does. The flush has already reported any failed write, so the
  // close after it is not waited on for one.
  bool Place(const std::string& finalPath, bool replace) {
    if (path_.empty()) {
      if (!replace) return LinkUnnamed(finalPath);
      if (!NameUnnamed()) return false;
    }
    if (!(replace ? ::rename(path_.c_str(), finalPath.c_str()) == 0 : RenameNew(finalPath))) return false;
    UnregisterNamed(std::exchange(slot_, -1));
    path_.clear();
    direct_.Close();
    fd_.Close();
    return true;
  }
  // Closes the file; a named one is removed.
  void Drop() {
    direct_.Close();
    fd_.Close();
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
    UnregisterNamed(std::exchange(slot_, -1));
  }

 private:
  std::string ProcPath() const { return "/proc/self/fd/" + std::to_string(fd_.get()); }

  bool LinkUnnamed(const std::string& finalPath) {
    if (::linkat(AT_FDCWD, ProcPath().c_str(), AT_FDCWD, finalPath.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
    direct_.Close();
    fd_.Close();
    return true;
  }

  // Whole pages from a page, and large: such writes (a decryption's chunks)
  // and reads (its proof reading them back) go straight between the disk
  // and the buffer through the second descriptor, which saves the copy and
  // most of the kernel's work for the cache. The system keeps the two
  // descriptors coherent; the flush stays on the first. Where the system
  // refuses the alignment after all (EINVAL), the cache it is, from then on.
  template <typename Byte, typename Call>
  bool Transfer(std::uint64_t offset, Byte* bytes, std::size_t length, Call call) {
    if (direct_.get() >= 0 && !directRefused_.load(std::memory_order_relaxed) && length >= kDirectFrom &&
        OnPages(offset, bytes, length)) {
      errno = 0;
      if (call(direct_.get(), offset, bytes, length)) return true;
      if (errno != EINVAL) return false;
      directRefused_ = true;
    }
    return call(fd_.get(), offset, bytes, length);
  }

  // An unnamed file can replace nothing: it gets a temporary name first.
  bool NameUnnamed();
  bool RenameNew(const std::string& finalPath) {
#ifdef __linux__
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    // Where the system cannot rename without replacing: a link never replaces.
    if (::link(path_.c_str(), finalPath.c_str()) != 0) return false;
    ::unlink(path_.c_str());
    return true;
  }

  static constexpr std::size_t kDirectFrom = std::size_t{64} << 10;

  const std::string folder_;
  std::string path_;
  Fd fd_;
  Fd direct_;
  std::atomic<bool> directRefused_{false};
  int slot_ = -1;
};

// A path with a NUL in it would name another file.
bool Native(const std::wstring& path, std::string* out) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return false;
  *out = ToNativePath(path);
  return true;
}

// The rename itself is only durable once the folder is synced. A folder that
// cannot be opened or synced (some file systems refuse) does not undo it.
void SyncFolder(const std::string& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

std::atomic<unsigned> tempCounter{0};

std::string TempName(const std::string& folder) {
  static const auto start = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  char name[64];
  std::snprintf(name, sizeof name, "%s%ld-%08x.tmp", kTempPrefix, static_cast<long>(::getpid()),
                tempCounter.fetch_add(1) * 0x9E3779B9u ^ start);
  return folder + "/" + name;
}

// ".ferrune-<pid>-<8 hex digits>.tmp", exactly.
bool IsTempName(const std::string& name) {
  const std::size_t prefix = std::strlen(kTempPrefix);
  if (name.size() < prefix + 14 || name.compare(0, prefix, kTempPrefix) != 0) return false;
  if (name.compare(name.size() - 4, 4, ".tmp") != 0) return false;
  const std::size_t dash = name.size() - 13;
  if (name[dash] != '-' || dash == prefix) return false;
  for (std::size_t i = prefix; i < dash; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  for (std::size_t i = dash + 1; i < name.size() - 4; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

bool TryLock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

std::int64_t Nanoseconds(const timespec& t) { return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity identity;
  identity.volume = static_cast<std::uint64_t>(st.st_dev);
  identity.index = static_cast<std::uint64_t>(st.st_ino);
  identity.size = static_cast<std::uint64_t>(st.st_size);
  identity.writeTime = Nanoseconds(st.st_mtim);
  identity.changeTime = Nanoseconds(st.st_ctim);
  identity.links = static_cast<std::uint32_t>(st.st_nlink);
  identity.symbolicLink = S_ISLNK(st.st_mode);
  return identity;
}

// A regular file opened for reading, without hanging on a FIFO.
int OpenRegular(const std::string& native, struct stat* st) {
  // O_NONBLOCK so that a FIFO does not hang the open; it is refused below.
  Fd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return -1;
  if (::fstat(fd.get(), st) != 0 || !S_ISREG(st->st_mode) || st->st_size < 0) return -1;
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return -1;
  return fd.Release();
}

// Keeps other jobs off an existing file: an flock, advisory, so it binds
// only zrv itself. A file that cannot be opened or locked here (no read
// permission, a link, a file system without flock) is taken without one.
class PosixHold final : public FileHold {
 public:
  explicit PosixHold(int fd) : fd_(fd) {}

 private:
  Fd fd_;
};

class PosixDeletable final : public DeletableFile {
 public:
  PosixDeletable(int fd, std::string native) : fd_(fd), native_(std::move(native)) {}
  // What the name leads to now, not what the open file is: that is what the
  // delete will remove.
  FileIdentity Identity() override {
    struct stat st {};
    if (::lstat(native_.c_str(), &st) != 0) return {};
    return IdentityOf(st);
  }
  bool Delete() override { return ::unlink(native_.c_str()) == 0; }

 private:
  Fd fd_;  // the job's hold, kept until the delete is done
  const std::string native_;
};

}  // namespace

bool PosixTempFile::NameUnnamed() {
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string name = TempName(folder_);
    if (::linkat(AT_FDCWD, ProcPath().c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      path_ = std::move(name);
      slot_ = RegisterNamed(path_);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void RemoveNamedTempsNow() {
  for (int i = 0; i < kNamedSlots; ++i) {
    if (namedUsed[i]) ::unlink(namedTemps[i]);
  }
}

std::string NativeFolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return ".";
  if (cut == 0) return "/";
  return path.substr(0, cut);
}

std::unique_ptr<InputFile> PosixFileSystem::OpenRead(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return nullptr;
  struct stat st {};
  const int fd = OpenRegular(native, &st);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixInputFile>(fd, static_cast<std::uint64_t>(st.st_size));
}

std::unique_ptr<InputFile> PosixFileSystem::OpenHeld(const std::wstring& path, FileIdentity* seen, Outcome* refused) {
  *refused = Outcome::CannotRead;
  std::string native;
  if (!Native(path, &native)) return nullptr;
  // The path itself, before the open follows it: deleting through a link
  // would delete the link only.
  struct stat named {};
  const bool link = ::lstat(native.c_str(), &named) == 0 && S_ISLNK(named.st_mode);
  struct stat st {};
  Fd fd(OpenRegular(native, &st));
  if (fd.get() < 0) return nullptr;
  if (!TryLock(fd.get()) && errno == EWOULDBLOCK) {
    *refused = Outcome::InUse;
    return nullptr;
  }
  *seen = IdentityOf(st);
  seen->symbolicLink = link;
  return std::make_unique<PosixInputFile>(fd.Release(), static_cast<std::uint64_t>(st.st_size));
}

PathKind PosixFileSystem::Kind(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return PathKind::Other;
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return errno == ENOENT ? PathKind::Missing : PathKind::Other;
  return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode) ? PathKind::File : PathKind::Other;
}

std::unique_ptr<FileHold> PosixFileSystem::HoldExisting(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return nullptr;
  Fd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
  if (fd.get() >= 0 && !TryLock(fd.get()) && errno == EWOULDBLOCK) return nullptr;
  return std::make_unique<PosixHold>(fd.Release());
}

std::unique_ptr<TempFile> PosixFileSystem::CreateTemp(const std::wstring& finalPath) {
  std::string native;
  if (!Native(finalPath, &native)) return nullptr;
  const std::string folder = NativeFolderOf(native);
#ifdef O_TMPFILE
  // Unnamed: it goes with the process however that ends. It gets a name at
  // the commit through /proc, so without /proc it is not used.
  if (unnamedTemps_) {
    Fd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd.get() >= 0 && TryLock(fd.get()) &&
        ::access(("/proc/self/fd/" + std::to_string(fd.get())).c_str(), F_OK) == 0) {
      return std::make_unique<PosixTempFile>(fd.Release(), folder, std::string());
    }
    if (fd.get() < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return nullptr;
  }
#endif
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string path = TempName(folder);
    Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) {
      if (errno != EEXIST) return nullptr;
      continue;
    }
    // A cleanup elsewhere may have taken it between the open and the lock;
    // then it is its to remove, and this name is not used.
    struct stat mine {
    }, named{};
    if (TryLock(fd.get()) && ::fstat(fd.get(), &mine) == 0 && ::lstat(path.c_str(), &named) == 0 &&
        mine.st_ino == named.st_ino && mine.st_dev == named.st_dev) {
      return std::make_unique<PosixTempFile>(fd.Release(), folder, std::move(path));
    }
  }
  return nullptr;
}

namespace {

bool Put(TempFile& file, const std::wstring& finalPath, bool replace) {
  auto& temp = static_cast<PosixTempFile&>(file);
  std::string native;
  if (Native(finalPath, &native) && temp.Place(native, replace)) {
    SyncFolder(NativeFolderOf(native));
    return true;
  }
  temp.Drop();
  return false;
}

}  // namespace

bool PosixFileSystem::Commit(std::unique_ptr<TempFile> file, const std::wstring& finalPath) {
  return Put(*file, finalPath, true);
}

bool PosixFileSystem::CommitNew(std::unique_ptr<TempFile> file, const std::wstring& finalPath) {
  return Put(*file, finalPath, false);
}

void PosixFileSystem::Discard(std::unique_ptr<TempFile> file) { static_cast<PosixTempFile&>(*file).Drop(); }

std::unique_ptr<DeletableFile> PosixFileSystem::ForDelete(std::unique_ptr<InputFile> file, const std::wstring& path) {
  std::string native;
  if (!file || !Native(path, &native)) return nullptr;
  return std::make_unique<PosixDeletable>(static_cast<PosixInputFile&>(*file).ReleaseFd(), std::move(native));
}

void PosixFileSystem::RemoveLeftovers(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return;
  const std::string folder = NativeFolderOf(native);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (IsTempName(entry->d_name)) names.push_back(entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& name : names) {
    const std::string candidate = folder + "/" + name;
    struct stat named {
    }, opened{};
    if (::lstat(candidate.c_str(), &named) != 0 || !S_ISREG(named.st_mode) || named.st_uid != ::geteuid()) continue;
    Fd fd(::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
    // A running job holds its file locked; only one nobody holds is a leftover.
    if (fd.get() < 0 || !TryLock(fd.get())) continue;
    if (::fstat(fd.get(), &opened) == 0 && opened.st_ino == named.st_ino && opened.st_dev == named.st_dev) {
      ::unlink(candidate.c_str());
    }
  }
}

}  // namespace ferrune
