#include "platform/posix/posix_io.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <limits>
#include <thread>

#include "platform/posix/native_path.h"

namespace ferrune {
namespace {

constexpr std::size_t kMaxIo = std::size_t{1} << 30;

// `call` is pread or pwrite.
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

std::int64_t Nanoseconds(const timespec& t) { return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

}  // namespace

std::int64_t PreadOnce(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  ssize_t moved;
  do {
    moved = ::pread(fd, buffer, length, static_cast<off_t>(offset));
  } while (moved < 0 && errno == EINTR);
  return moved;
}

bool ReadAtOffset(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  return TransferAt(fd, offset, buffer, length, ::pread);
}

bool WriteAtOffset(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
  return TransferAt(fd, offset, data, length, ::pwrite);
}

bool SyncDescriptor(int fd) {
  int result;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

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

LockResult TryLock(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return LockResult::Taken;
  return errno == EWOULDBLOCK ? LockResult::HeldElsewhere : LockResult::Unavailable;
}

bool WaitPastTimeGranularity(const struct stat& st) {
  constexpr std::int64_t kSecond = 1000000000;
  // A write time of whole seconds says the file system may keep no more
  // (exFAT, FAT: two); otherwise a tick of the kernel's clock is the step.
  const std::int64_t written = Nanoseconds(st.st_mtim);
  const std::int64_t step = written % kSecond == 0 ? 2 * kSecond : 20000000;
  timespec now{};
  if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  const std::int64_t since = Nanoseconds(now) - written;
  if (since < 0 || since >= step) return false;
  std::this_thread::sleep_for(std::chrono::nanoseconds(step - since));
  return true;
}

NativeAside AsideOf(AsideKind kind, const FileIdentity& identity, const std::string& native) {
  const std::size_t cut = native.find_last_of('/');
  const std::wstring original = FromNativePath(cut == std::string::npos ? native : native.substr(cut + 1));
  const std::wstring name =
      AsideFileName(kind, identity, original, [](std::wstring_view n) { return ToNativePath(n).size() <= NAME_MAX; });
  return {NativeFolderOf(native) + "/" + ToNativePath(name), *ParseOurName(name)};
}

bool PutBackNative(const std::string& asidePath, const std::string& folder, const OurName& aside) {
  return !PutBack(aside, [&](const std::wstring& name) {
            return RenameNoReplace(asidePath, folder + "/" + ToNativePath(name));
          }).empty();
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef __linux__
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // No link either: such systems have no other way. Only another job could
  // take the name in between, and the job's hold keeps ours off it.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  if (errno != ENOENT) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool SyncFolder(const std::string& folder) {
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // A folder that may be written but not read cannot be opened to flush it.
  if (!dir) return errno == EACCES || errno == EPERM;
  if (SyncDescriptor(dir.get())) return true;
  return errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP;
}

}  // namespace ferrune
