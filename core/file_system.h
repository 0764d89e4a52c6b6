// What the file operations need of the file system. Portable: the Windows
// build puts Win32 behind it, tests put memory or faults behind it.
//
// Reads and writes take explicit offsets, so that the work and its proof can
// use one open file from two threads. Every operation that can fail says
// why with what it gives back (core/file_error.h), never through a global.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/file_error.h"
#include "core/opaque.h"
#include "core/outcome.h"

namespace ferrune {

// A date as the file system keeps it: whole seconds from the platform's own
// epoch and the part of a second, always below one second, so that any date
// a file system keeps fits.
struct FileTime {
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;

  auto operator<=>(const FileTime&) const = default;
};

// What a file was when a job opened it, to tell later whether it is still
// that file, unchanged, under its only name.
struct FileIdentity {
  std::uint64_t volume = 0;  // device, or volume serial number
  std::uint64_t index = 0;   // inode, or file index
  std::uint64_t size = 0;
  FileTime writeTime;
  FileTime changeTime;  // also moves when a write time is put back
  std::uint32_t links = 0;
  bool symbolicLink = false;  // the path itself, not what it leads to

  bool operator==(const FileIdentity&) const = default;
};

// The same file, whatever became of its content.
inline bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}

// Same file, same content: the identity a job saw, still standing.
inline bool SameContent(const FileIdentity& a, const FileIdentity& b) {
  return SameFile(a, b) && a.size == b.size && a.writeTime == b.writeTime && a.changeTime == b.changeTime;
}

// The same after a move of ours, which moves the change time and nothing else.
inline bool SameContentMoved(const FileIdentity& a, const FileIdentity& b) {
  return SameFile(a, b) && a.size == b.size && a.writeTime == b.writeTime;
}

// What a file made from another takes from it: the round trip gives the
// file back as it was. What a platform has no use for stays empty.
struct FileMetadata {
  std::uint32_t permissions = 0;  // who may read and write it (POSIX bits)
  std::optional<FileTime> writeTime;
  std::optional<FileTime> creationTime;
  std::uint32_t attributes = 0;         // read-only and hidden (Windows)
  std::optional<std::string> zoneMark;  // the mark of the web, as its stream holds it (Windows)

  bool operator==(const FileMetadata&) const = default;
};

// A file opened, or why not.
template <typename File>
struct Opened {
  std::unique_ptr<File> file;
  FileError error;  // when `file` is null
};

// A file of the user's that a job set aside and could not put back under
// its own name: the visible name beside it that it went to, or, when no
// visible name could be had, the name of ours it still lies under.
struct Displaced {
  std::wstring name;  // without its folder; empty when nothing was displaced
  bool hidden = false;
};

class InputFile {
 public:
  virtual ~InputFile() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly `length` bytes, or why not.
  virtual FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) = 0;
  // The same bytes as the disk holds them now, not as the system's cache
  // kept them from an earlier read: a read that went wrong once is not
  // repeated. Where there is no cache of its own, ReadAt.
  virtual FileError ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
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

// How a commit ended: the outcome, the system's reason for a failure, and
// where a replaced file went that could not go back to its name.
struct Committed {
  Outcome outcome = Outcome::CannotWrite;
  FileError error;
  Displaced displaced;
};

// A new file in the output's folder that nobody else may open. It is
// removed when it goes without a commit; after a commit it stays open, so
// that the output's identity holds until this goes away.
class TempFile {
 public:
  virtual ~TempFile() = default;
  // All `length` bytes, or why not.
  virtual FileError WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) = 0;
  virtual FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) = 0;
  // Written through to the disk. A failure when the system reports any
  // write since the last flush as lost.
  virtual FileError Flush() = 0;
  // True when ReadAt reads what is on the disk even before a flush, for the
  // whole life of the file; otherwise only ranges that a successful Flush
  // covered are read from it.
  virtual bool ReadsPastCache() const = 0;
  // The file as it is now: what stands under its final name later is the
  // output only while it is this file.
  virtual FileError Identity(FileIdentity* now) = 0;
  // Gives the file what it takes from its input, after the last write: a
  // failure when the system refuses any of it for a reason other than what
  // the file system cannot keep (whole seconds, no streams).
  virtual FileError Stamp(const FileMetadata& from) = 0;
  // Puts the file under `finalPath`, then flushes the folder; OutputChanged
  // when a file stands there that `replacing` does not allow. On any outcome
  // but Success and NotDurable the file is removed and `finalPath` holds what
  // it held; NotDurable: it is in place, but the folder's flush failed. A
  // replaced file is set aside first and removed only once the output stands
  // in its place; never another file.
  virtual Committed Commit(const std::wstring& finalPath, const Replacing& replacing) = 0;
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
    Moved,              // the file has another name now: nothing removed
    OpenElsewhere,      // another program has it open: nothing removed
    Gone,               // another program removed it first
    Failed,             // the system refused, or the name still shows the file afterwards
  };
  struct Removed {
    Removal removal = Removal::Failed;
    FileError error;      // the system's reason, for Failed
    Displaced displaced;  // where the input went when it could not go back to its name
  };

  virtual ~DeletableFile() = default;
  // What stands under the name now: `links` 0 when nothing does.
  virtual FileError Identity(FileIdentity* named) = 0;
  // The file the job has open, where it keeps one: `links` 0 once no name
  // leads to it any more. False where it keeps none.
  virtual bool Held(FileIdentity* held) {
    (void)held;
    return false;
  }
  // Removes the file if what stands under the name is still the one of
  // `expected`, with no other name, and `outputStands()` says, at the last
  // moment before it goes, that the job's output is still in place; then
  // makes the removal durable. A file that took the name meanwhile is never
  // removed and stays visible.
  virtual Removed Delete(const FileIdentity& expected, const std::function<bool()>& outputStands) = 0;
};

// An input taken for a job: read like any other, and given up at the end
// for the handle that deletes it.
class HeldFile : public InputFile {
 public:
  // Gives up this read, and with it the job's hold, for a handle that can
  // delete the file under `path`.
  virtual Opened<DeletableFile> ForDelete(const std::wstring& path) = 0;
};

enum class PathKind { Missing, File, Other };

// An input taken for a job, or why not: InUse when another job or program
// has it, CannotRead when it cannot be opened.
struct Taken {
  std::unique_ptr<HeldFile> file;
  FileIdentity seen;
  Outcome refused = Outcome::CannotRead;
  FileError error;
};

// A file under the output name taken before a commit replaces it, or why
// not: OwnError HeldElsewhere, ReadOnly or Link, or the system's reason.
struct Hold {
  std::unique_ptr<FileHold> hold;
  FileIdentity seen;
  FileError error;
};

// What streaming one file needs: its input, and an output put in place
// only when whole.
class StreamFiles {
 public:
  virtual ~StreamFiles() = default;
  // Read only, others may read but not write.
  virtual Opened<InputFile> OpenRead(const std::wstring& path) = 0;
  // A new file beside `finalPath`.
  virtual Opened<TempFile> CreateTemp(const std::wstring& finalPath) = 0;
};

// What a whole file job needs besides: inputs and outputs taken against
// other jobs, and the delete of its input.
class FileSystem : public StreamFiles {
 public:
  // What stands under `path`; a symbolic link counts as a file. Other, with
  // the reason in `error`, when it cannot be looked at.
  virtual PathKind Kind(const std::wstring& path, FileError* error) = 0;
  // The file `path` leads to (a link followed, `symbolicLink` telling that
  // the name was one); a failure when there is none or it cannot be looked at.
  virtual FileError Identify(const std::wstring& path, FileIdentity* seen) = 0;
  // OpenRead, and the file taken for this job.
  virtual Taken OpenHeld(const std::wstring& path) = 0;
  // Takes an existing file that a commit is about to replace, and tells what
  // it is.
  virtual Hold HoldExisting(const std::wstring& path) = 0;
  // Clears what a crash or a power cut left of our jobs beside `path`, as
  // core/temp_name.h judges it: temporary files of ours that no running job
  // holds go, and files set aside go back to a visible name. A file it
  // cannot open or take is left alone: it may be a running job's.
  virtual void RemoveLeftovers(const std::wstring& path) = 0;
  // The programs that have `path` open or locked, by name, where the system
  // can tell; asked only once a job was refused.
  virtual std::vector<std::wstring> WhoHolds(const std::wstring& path) {
    (void)path;
    return {};
  }
};

}  // namespace ferrune
