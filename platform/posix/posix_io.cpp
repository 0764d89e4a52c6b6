#include "platform/posix/posix_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

#include "platform/posix/native_path.h"

namespace ferrune {
namespace {

constexpr std::size_t kMaxIo = std::size_t{1} << 30;

// `call` is pread or pwrite.
template <typename Byte, typename Call>
FileError TransferAt(int fd, std::uint64_t offset, Byte* bytes, std::size_t length, Call call, FileOp op) {
  while (length > 0) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return FileError::Posix(EFBIG, op);
    const ssize_t moved = call(fd, bytes, std::min(length, kMaxIo), static_cast<off_t>(offset));
    if (moved < 0 && errno == EINTR) continue;
    if (moved < 0) return Errno(op);
    // A read at the end: the file is shorter than it was. A write that takes
    // nothing: the disk is full.
    if (moved == 0) return op == FileOp::Write ? FileError::Posix(ENOSPC, op) : FileError::Own(OwnError::Shrank, op);
    bytes += moved;
    offset += static_cast<std::uint64_t>(moved);
    length -= static_cast<std::size_t>(moved);
  }
  return {};
}

std::int64_t Nanoseconds(const timespec& t) { return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

}  // namespace

std::int64_t PreadOnce(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  ssize_t moved;
  do {
    moved = ::pread(fd, buffer, length, static_cast<off_t>(offset));
  } while (moved < 0 && errno == EINTR);
  return moved;
}

FileError ReadAtOffset(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  return TransferAt(fd, offset, buffer, length, ::pread, FileOp::Read);
}

FileError WriteAtOffset(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
  return TransferAt(fd, offset, data, length, ::pwrite, FileOp::Write);
}

FileError SyncDescriptor(int fd) {
  int result;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? FileError{} : Errno(FileOp::Flush);
}

FileTime TimeOf(const timespec& t) { return {std::int64_t{t.tv_sec}, static_cast<std::uint32_t>(t.tv_nsec)}; }

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity identity;
  identity.volume = static_cast<std::uint64_t>(st.st_dev);
  identity.index = static_cast<std::uint64_t>(st.st_ino);
  identity.size = static_cast<std::uint64_t>(st.st_size);
  identity.writeTime = TimeOf(st.st_mtim);
  identity.changeTime = TimeOf(st.st_ctim);
  identity.links = static_cast<std::uint32_t>(st.st_nlink);
  identity.symbolicLink = S_ISLNK(st.st_mode);
  return identity;
}

bool Native(const std::wstring& path, std::string* out) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return false;
  *out = ToNativePath(path);
  return true;
}

std::string NativeFolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return ".";
  if (cut == 0) return "/";
  return path.substr(0, cut);
}

std::string NativeNameOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

LockResult TryLock(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return LockResult::Taken;
  return errno == EWOULDBLOCK ? LockResult::HeldElsewhere : LockResult::Unavailable;
}

std::vector<std::wstring> LockHolders(const struct stat& st) {
  // "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF", the device as the
  // kernel prints it.
  char file[64];
  std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::vector<std::wstring> holders;
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, advisory, mode, pid, where;
    if (!(fields >> number >> kind >> advisory >> mode >> pid >> where) || kind != "FLOCK" || where != file ||
        pid == std::to_string(::getpid())) {
      continue;
    }
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    if (!std::getline(comm, name) || name.empty()) continue;
    const std::wstring holder = FromNativePath(name) + L", process " + FromNativePath(pid);
    if (std::find(holders.begin(), holders.end(), holder) == holders.end()) holders.push_back(holder);
  }
  return holders;
}

bool WaitPastTimeGranularity(const struct stat& st) {
  constexpr std::int64_t kSecond = 1000000000;
  // A write time of whole seconds says the file system may keep no more
  // (exFAT, FAT: two); otherwise a tick of the kernel's clock is the step.
  const std::int64_t step = st.st_mtim.tv_nsec == 0 ? 2 * kSecond : 20000000;
  timespec now{};
  if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  // In whole seconds first: a date far from now needs no wait and must not
  // overflow a count of nanoseconds.
  if (now.tv_sec < st.st_mtim.tv_sec || now.tv_sec - st.st_mtim.tv_sec > 2) return false;
  const std::int64_t since = Nanoseconds(now) - Nanoseconds(st.st_mtim);
  if (since < 0 || since >= step) return false;
  std::this_thread::sleep_for(std::chrono::nanoseconds(step - since));
  return true;
}

WriteLease::WriteLease(int fd) : fd_(fd) {
#ifdef F_SETLEASE
  // The break is told by a signal: one that is ignored unless a program
  // asks for it, since it is only looked at through F_GETLEASE.
  if (::fcntl(fd, F_SETSIG, SIGURG) != 0) return;
  if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
    state_ = State::Held;
  } else if (errno == EAGAIN) {
    state_ = State::Refused;
  }
#endif
}

WriteLease::~WriteLease() {
#ifdef F_SETLEASE
  if (state_ == State::Held) ::fcntl(fd_, F_SETLEASE, F_UNLCK);
#endif
}

bool WriteLease::Intact() const {
#ifdef F_SETLEASE
  // While a break waits, the lease reads as what the opener needs it to become.
  if (state_ == State::Held) return ::fcntl(fd_, F_GETLEASE) == F_WRLCK;
#endif
  return state_ != State::Refused;
}

}  // namespace ferrune
