// Descriptors, positional transfers, identities and locks, for the POSIX
// file system's parts. Every failure carries errno as the system gave it.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "core/opaque.h"
#include "core/unique_any.h"

namespace ferrune {

// close() may report a write the system had not yet made; a descriptor's
// owner keeps that result.
struct CloseDescriptor {
  bool operator()(int fd) const { return ::close(fd) == 0; }
};

// Zero is a descriptor like any other: only -1 is none.
using UniqueFd = UniqueAny<int, CloseDescriptor, NoneIs<int, -1>>;
using UniqueDir = UniqueAny<DIR*, CallClose<&::closedir>>;

// The job's hold on a file it may replace: its descriptor, locked where the
// file could be opened; none for a file that cannot be opened (a link, no
// read permission).
using PosixHold = OpaqueOwner<HoldTag, UniqueFd>;

// errno as it stands, for `op`.
inline FileError Errno(FileOp op) { return FileError::Posix(errno, op); }

// One pread, again when a signal breaks in: the bytes read, or -1.
std::int64_t PreadOnce(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t length);

// Exactly `length` bytes at `offset`; a signal that breaks in is no
// failure, an end of file before them is (Shrank).
FileError ReadAtOffset(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t length);
FileError WriteAtOffset(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t length);

// fsync, again when a signal breaks in.
FileError SyncDescriptor(int fd);

FileTime TimeOf(const timespec& t);
FileIdentity IdentityOf(const struct stat& st);

// The permission bits a file made from one with `st` gets: never set-id.
inline std::uint32_t PermissionsOf(const struct stat& st) { return static_cast<std::uint32_t>(st.st_mode & 0777); }

// A path with a NUL in it would name another file.
bool Native(const std::wstring& path, std::string* out);

// The folder part of a native path, "." for a bare name; and the name part.
std::string NativeFolderOf(const std::string& path);
std::string NativeNameOf(const std::string& path);

// An exclusive flock without waiting: how jobs keep off each other's files.
// Unavailable where the file system refuses locks (NFS without its lock
// service) or for any other error: nobody can tell then.
enum class LockResult { Taken, HeldElsewhere, Unavailable };
LockResult TryLock(int fd);

// Who holds an flock on the file of `st`, as /proc/locks tells: "zrv,
// process 1234" for each process but this one.
std::vector<std::wstring> LockHolders(const struct stat& st);

// Waits, at most two seconds, until a write to the file of `st` would move
// its write time: the file system may keep only whole seconds (or two, on
// FAT), or ticks of the system's clock. True when it waited.
bool WaitPastTimeGranularity(const struct stat& st);

// A write lease on an open file (Linux): the system grants it only while no
// other descriptor has the file open, and any other program's open or
// truncate of it after that breaks it, and waits until the lease goes. So
// from the lease to its end nothing can write the file unseen. Released when
// this goes. Where the system grants no leases (not the file's owner, NFS,
// many FUSE file systems) nothing can be told either way.
class WriteLease {
 public:
  explicit WriteLease(int fd);
  ~WriteLease();
  WriteLease(const WriteLease&) = delete;
  WriteLease& operator=(const WriteLease&) = delete;

  // Another descriptor had the file open: no lease.
  bool Refused() const { return state_ == State::Refused; }
  // Nobody opened the file since the lease, as far as can be told.
  bool Intact() const;

 private:
  enum class State { Held, Refused, Unavailable };
  const int fd_;
  State state_ = State::Unavailable;
};

}  // namespace ferrune
