// Descriptors and positional transfers, for the POSIX file system's parts.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/file_system.h"
#include "core/temp_name.h"
#include "core/unique_any.h"

namespace ferrune {

// close() may report a write the system had not yet made; a descriptor's
// owner keeps that result.
struct CloseDescriptor {
  bool operator()(int fd) const { return ::close(fd) == 0; }
};

// Zero is a descriptor like any other: only -1 is none.
using UniqueFd = UniqueAny<int, CloseDescriptor, NoneIs<int, -1>>;

// One pread, again when a signal breaks in: the bytes read, or -1.
std::int64_t PreadOnce(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t length);

// Exactly `length` bytes at `offset`, or false; a signal that breaks in is
// no failure.
bool ReadAtOffset(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t length);
bool WriteAtOffset(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t length);

// fsync, again when a signal breaks in.
bool SyncDescriptor(int fd);

FileIdentity IdentityOf(const struct stat& st);

// The permission bits a file made from one with `st` gets: never set-id.
inline std::uint32_t PermissionsOf(const struct stat& st) { return static_cast<std::uint32_t>(st.st_mode & 0777); }

// A path with a NUL in it would name another file.
bool Native(const std::wstring& path, std::string* out);

// The folder part of a native path, "." for a bare name.
std::string NativeFolderOf(const std::string& path);

// An exclusive flock without waiting: how jobs keep off each other's files.
// Unavailable where the file system refuses locks (NFS without its lock
// service) or for any other error: nobody can tell then.
enum class LockResult { Taken, HeldElsewhere, Unavailable };
LockResult TryLock(int fd);

// Waits, at most two seconds, until a write to the file of `st` would move
// its write time: the file system may keep only whole seconds (or two, on
// FAT), or ticks of the system's clock. True when it waited.
bool WaitPastTimeGranularity(const struct stat& st);

// Where a file `native` is set aside, as core/temp_name.h names it.
struct NativeAside {
  std::string path;
  OurName name;
};
NativeAside AsideOf(AsideKind kind, const FileIdentity& identity, const std::string& native);

// Moves a file set aside back to its name, or to a kept name beside it;
// false when it could not be moved at all, and then it stays.
bool PutBackNative(const std::string& asidePath, const std::string& folder, const OurName& aside);

// Moves `from` to `to` only where nothing stands under `to`: atomically
// where the system can, else (exFAT and NTFS through FUSE, some network
// file systems) by a look at `to` right before a plain rename. EEXIST in
// errno when something stands there.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Durable renames and deletes in `folder`. False when the folder's flush,
// or its open for it, reports an error; a folder that may not be read, or a
// system that cannot flush folders, is passed over.
bool SyncFolder(const std::string& folder);

}  // namespace ferrune
