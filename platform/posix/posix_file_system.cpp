#include "posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <limits>

#include "native_path.h"

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

bool ReadAtOffset(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  while (length > 0) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    const ssize_t got = ::pread(fd, buffer, std::min(length, kMaxIo), static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer += got;
    offset += static_cast<std::uint64_t>(got);
    length -= static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteAtOffset(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    const ssize_t put = ::pwrite(fd, data, std::min(length, kMaxIo), static_cast<off_t>(offset));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    offset += static_cast<std::uint64_t>(put);
    length -= static_cast<std::size_t>(put);
  }
  return true;
}

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(fd_.get(), offset, buffer, length);
  }

 private:
  Fd fd_;
  const std::uint64_t size_;
};

class PosixTempFile final : public TempFile {
 public:
  PosixTempFile(int fd, std::string where) : path(std::move(where)), fd_(fd) {}
  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    return WriteAtOffset(fd_.get(), offset, data, length);
  }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(fd_.get(), offset, buffer, length);
  }
  bool Flush() override {
    int result;
    do {
      result = ::fsync(fd_.get());
    } while (result != 0 && errno == EINTR);
    return result == 0;
  }
  bool Close() { return fd_.Close(); }

  const std::string path;

 private:
  Fd fd_;
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

}  // namespace

std::string NativeFolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return ".";
  if (cut == 0) return "/";
  return path.substr(0, cut);
}

std::unique_ptr<InputFile> PosixFileSystem::OpenRead(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return nullptr;
  // O_NONBLOCK so that a FIFO does not hang the open; it is refused below.
  Fd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return nullptr;
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
  return std::make_unique<PosixInputFile>(fd.Release(), static_cast<std::uint64_t>(st.st_size));
}

std::unique_ptr<TempFile> PosixFileSystem::CreateTemp(const std::wstring& finalPath) {
  std::string native;
  if (!Native(finalPath, &native)) return nullptr;
  const std::string folder = NativeFolderOf(native);
  const auto now = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 64; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%ld-%08x.tmp", kTempPrefix, static_cast<long>(::getpid()),
                  tempCounter.fetch_add(1) * 0x9E3779B9u ^ now);
    std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) return std::make_unique<PosixTempFile>(fd, std::move(path));
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

bool PosixFileSystem::Commit(std::unique_ptr<TempFile> file, const std::wstring& finalPath) {
  auto& temp = static_cast<PosixTempFile&>(*file);
  std::string native;
  const bool closed = temp.Close();
  if (closed && Native(finalPath, &native) && ::rename(temp.path.c_str(), native.c_str()) == 0) {
    SyncFolder(NativeFolderOf(native));
    return true;
  }
  ::unlink(temp.path.c_str());
  return false;
}

void PosixFileSystem::Discard(std::unique_ptr<TempFile> file) {
  auto& temp = static_cast<PosixTempFile&>(*file);
  temp.Close();
  ::unlink(temp.path.c_str());
}

bool PosixFileSystem::Remove(const std::wstring& path) { return ::unlink(ToNativePath(path).c_str()) == 0; }

}  // namespace ferrune
