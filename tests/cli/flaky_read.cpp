// Preloaded into zrv: a disk that delivers one wrong byte once, and a page
// cache that keeps it. Every read of the file FERRUNE_FLAKY_FILE through the
// cache shows the byte at FERRUNE_FLAKY_AT flipped, until the cache drops
// that page (POSIX_FADV_DONTNEED); a read past the cache (O_DIRECT) reads the
// disk and sees the right byte.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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

// `length` 0: to the end of the file, as posix_fadvise takes it.
bool Covers(int fd, off_t offset, off_t length) {
  const Target& t = Flaky();
  struct stat st {};
  if (!t.known || ::fstat(fd, &st) != 0 || st.st_dev != t.dev || st.st_ino != t.ino) return false;
  return t.at >= offset && (length == 0 || t.at < offset + length);
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
  if (advice == POSIX_FADV_DONTNEED && Covers(fd, offset, length)) dropped = true;
}

}  // namespace

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
