// Preloaded into zrv: a disk that delivers one wrong byte once, and a page
// cache that keeps it. Every read of the file FERRUNE_FLAKY_FILE through the
// cache shows the byte at FERRUNE_FLAKY_AT flipped, until the cache drops
// that page: POSIX_FADV_DONTNEED drops, as the kernel does, only the whole
// pages inside the range it is given. A read past the cache (O_DIRECT)
// reads the disk and sees the right byte; with FERRUNE_FLAKY_NO_DIRECT set
// the file system refuses O_DIRECT, as ecryptfs and some FUSE file systems do.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>

namespace {

struct Target {
  bool known = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t at = 0;
};

const Target& Flaky() {
  static const Target target = [] {
    Target t;
    const char* path = std::getenv("FERRUNE_FLAKY_FILE");
    const char* at = std::getenv("FERRUNE_FLAKY_AT");
    struct stat st {};
    if (!path || !at || ::stat(path, &st) != 0) return t;
    t = {true, st.st_dev, st.st_ino, static_cast<off_t>(std::atoll(at))};
    return t;
  }();
  return target;
}

std::atomic<bool> dropped{false};

bool IsFlaky(int fd) {
  const Target& t = Flaky();
  struct stat st {};
  return t.known && ::fstat(fd, &st) == 0 && st.st_dev == t.dev && st.st_ino == t.ino;
}

// The byte read: within [offset, offset + length).
bool Covers(int fd, off_t offset, off_t length) {
  return IsFlaky(fd) && Flaky().at >= offset && Flaky().at < offset + length;
}

// The byte's whole page within the range; `length` 0: to the end of the file.
bool PageWithin(int fd, off_t offset, off_t length) {
  const off_t page = Flaky().at - Flaky().at % 4096;
  return IsFlaky(fd) && page >= offset && (length == 0 || page + 4096 <= offset + length);
}

template <typename Real>
Real Next(const char* name) {
  return reinterpret_cast<Real>(::dlsym(RTLD_NEXT, name));
}

ssize_t ReadWrongOnce(ssize_t got, int fd, void* buffer, off_t offset) {
  if (got > 0 && !dropped && (::fcntl(fd, F_GETFL) & O_DIRECT) == 0 && Covers(fd, offset, got)) {
    static_cast<std::uint8_t*>(buffer)[Flaky().at - offset] ^= 0x20;
  }
  return got;
}

void Advise(int fd, off_t offset, off_t length, int advice) {
  if (advice == POSIX_FADV_DONTNEED && PageWithin(fd, offset, length)) dropped = true;
}

// The mode is passed only with a file to make.
template <typename Real>
int Open(Real real, const char* path, int flags, va_list rest) {
  const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(rest, mode_t) : 0;
  if ((flags & O_DIRECT) != 0 && std::getenv("FERRUNE_FLAKY_NO_DIRECT")) {
    errno = EINVAL;
    return -1;
  }
  return real(path, flags, mode);
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  static const auto real = Next<int (*)(const char*, int, ...)>("open");
  va_list rest;
  va_start(rest, flags);
  const int fd = Open(real, path, flags, rest);
  va_end(rest);
  return fd;
}

extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));

extern "C" ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
  static const auto real = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
  return ReadWrongOnce(real(fd, buffer, count, offset), fd, buffer, offset);
}

extern "C" ssize_t pread64(int fd, void* buffer, size_t count, off_t offset) {
  static const auto real = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
  return ReadWrongOnce(real(fd, buffer, count, offset), fd, buffer, offset);
}

extern "C" int posix_fadvise(int fd, off_t offset, off_t length, int advice) {
  static const auto real = Next<int (*)(int, off_t, off_t, int)>("posix_fadvise");
  Advise(fd, offset, length, advice);
  return real(fd, offset, length, advice);
}

extern "C" int posix_fadvise64(int fd, off_t offset, off_t length, int advice) {
  static const auto real = Next<int (*)(int, off_t, off_t, int)>("posix_fadvise64");
  Advise(fd, offset, length, advice);
  return real(fd, offset, length, advice);
}
