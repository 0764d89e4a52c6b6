// What the file operations need of the file system. Portable: the Windows
// build puts Win32 behind it, tests put memory or faults behind it.
//
// Reads and writes take explicit offsets, so that the work and its proof can
// use one open file from two threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/opaque.h"
#include "core/outcome.h"

namespace ferrune {

// What a file was when a job opened it, to tell later whether it is still
// that file, unchanged, under its only name. Times are in the platform's own
// units; they are only ever compared.
struct FileIdentity {
  std::uint64_t volume = 0;  // device, or volume serial number
  std::uint64_t index = 0;   // inode, or file index
  std::uint64_t size = 0;
  std::int64_t writeTime = 0;
  std::int64_t changeTime = 0;  // also moves when a write time is put back
  std::uint32_t links = 0;
  bool symbolicLink = false;  // the path itself, not what it leads to

  bool operator==(const FileIdentity&) const = default;
};

// Same file, same content: the identity a job saw, still standing.
inline bool SameContent(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index && a.size == b.size && a.writeTime == b.writeTime &&
         a.changeTime == b.changeTime;
}

// What a file made from another takes from it: the round trip gives the
// file back as it was. In the platform's own units; what a platform has no
// use for stays empty.
struct FileMetadata {
  std::uint32_t permissions = 0;  // who may read and write it (POSIX bits)
  std::optional<std::int64_t> writeTime;
  std::optional<std::int64_t> creationTime;
  std::uint32_t attributes = 0;         // read-only and hidden (Windows)
  std::optional<std::string> zoneMark;  // the mark of the web, as its stream holds it (Windows)

  bool operator==(const FileMetadata&) const = default;
};

class InputFile {
 public:
  virtual ~InputFile() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly `length` bytes or false.
  virtual bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) = 0;
  // The same bytes as the disk holds them now, not as the system's cache
  // kept them from an earlier read: a read that went wrong once is not
  // repeated. Where there is no cache of its own, ReadAt.
  virtual bool ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
    return ReadAt(offset, buffer, length);
  }
  // What a file made from this one takes from it.
  virtual FileMetadata Metadata() const { return {}; }
};

// An existing file that this job has taken: no other job may take it until
// this goes away.
using FileHold = Opaque<struct HoldTag>;

// What a commit may put its file over.
struct Replacing {
  enum class What { Nothing, File };
  What what = What::Nothing;
  FileIdentity file;         // for File: only this one, unchanged
  FileHold* hold = nullptr;  // for File: the job's hold on it, if it has one

  static Replacing Nothing() { return {}; }
  static Replacing Only(const FileIdentity& identity, FileHold* hold = nullptr) { return {What::File, identity, hold}; }
};

// A new file in the output's folder that nobody else may open. It is
// removed when it goes without a commit.
class TempFile {
 public:
  virtual ~TempFile() = default;
  // All `length` bytes or false.
  virtual bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) = 0;
  virtual bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) = 0;
  // Written through to the disk. False when the system reports any write
  // since the last flush as lost.
  virtual bool Flush() = 0;
  // True when ReadAt reads what is on the disk even before a flush, for the
  // whole life of the file; otherwise only ranges that a successful Flush
  // covered are read from it.
  virtual bool ReadsPastCache() const = 0;
  // The file as it is now: what stands under its final name later is the
  // output only while it is this file.
  virtual std::optional<FileIdentity> Identity() = 0;
  // Gives the file what it takes from its input, after the last write:
  // false when the system refuses any of it for a reason other than what
  // the file system cannot keep (whole seconds, no streams).
  virtual bool Stamp(const FileMetadata& from) = 0;
  // Closes the file and puts it under `finalPath`, then flushes the folder;
  // OutputChanged when a file stands there that `replacing` does not allow.
  // On any outcome but Success and NotDurable the file is removed and
  // `finalPath` holds what it held; NotDurable: it is in place, but the
  // folder's flush failed. A replaced file is set aside first and removed
  // only once the output stands in its place; never another file.
  virtual Outcome Commit(const std::wstring& finalPath, const Replacing& replacing) = 0;
};

// A job's input reopened for its delete: looked at first, then removed
// exactly as it is, never whatever else might stand under its name.
class DeletableFile {
 public:
  enum class Removal {
    Deleted,
    DeletedNotDurable,  // gone, but the folder's flush failed: it may be back after a power cut
    Changed,            // another file, or this one changed: nothing removed
    OtherNames,         // a hard link appeared: nothing removed
    OutputGone,         // the output no longer stood there: nothing removed
    Gone,               // another program removed it first
    Moved,              // it still has a name, another one: nothing removed
    Failed,             // the system refused, or the name still shows the file afterwards
  };

  virtual ~DeletableFile() = default;
  // What stands under the name now: `links` 0 when nothing does; empty when
  // that cannot be looked at.
  virtual std::optional<FileIdentity> Identity() = 0;
  // Removes the file if what stands under the name is still the one of
  // `expected`, with no other name, and `outputStands()` says, at the last
  // moment before it goes, that the job's output is still in place; then
  // makes the removal durable. A file that took the name meanwhile is never
  // removed and stays visible.
  virtual Removal Delete(const FileIdentity& expected, const std::function<bool()>& outputStands) = 0;
};

// An input taken for a job: read like any other, and given up at the end
// for the handle that deletes it.
class HeldFile : public InputFile {
 public:
  // Gives up this read, and with it the job's hold, for a handle that can
  // delete the file under `path`. Null when that cannot be had.
  virtual std::unique_ptr<DeletableFile> ForDelete(const std::wstring& path) = 0;
};

enum class PathKind { Missing, File, Other };

// What streaming one file needs: its input, and an output put in place
// only when whole.
class StreamFiles {
 public:
  virtual ~StreamFiles() = default;
  // Read only, others may read but not write. Null when it cannot be opened.
  virtual std::unique_ptr<InputFile> OpenRead(const std::wstring& path) = 0;
  // Null when no file can be made beside `finalPath`.
  virtual std::unique_ptr<TempFile> CreateTemp(const std::wstring& finalPath) = 0;
};

// What a whole file job needs besides: inputs and outputs taken against
// other jobs, and the delete of its input.
class FileSystem : public StreamFiles {
 public:
  // What stands under `path`; a symbolic link counts as a file.
  virtual PathKind Kind(const std::wstring& path) = 0;
  // The file `path` leads to (a link followed, `symbolicLink` telling that
  // the name was one); false when there is none or it cannot be looked at.
  virtual bool Identify(const std::wstring& path, FileIdentity* seen) = 0;
  // OpenRead, and the file taken for this job. Null with InUse when another
  // job or program has it, CannotRead when it cannot be opened.
  virtual std::unique_ptr<HeldFile> OpenHeld(const std::wstring& path, FileIdentity* seen, Outcome* refused) = 0;
  // Takes an existing file that a commit is about to replace, and tells what
  // it is. Null when another job holds it or it cannot be taken.
  virtual std::unique_ptr<FileHold> HoldExisting(const std::wstring& path, FileIdentity* seen) = 0;
  // Clears what a crash or a power cut left of our jobs beside `path`, as
  // core/temp_name.h judges it: temporary files that no running job holds
  // go, files set aside go back to a visible name, a job's checked input
  // set aside on its way out goes.
  virtual void RemoveLeftovers(const std::wstring& path) = 0;
};

}  // namespace ferrune
