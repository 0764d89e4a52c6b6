// What the file operations need of the file system. Portable: the Windows
// build puts Win32 behind it, tests put memory or faults behind it.
//
// Reads and writes take explicit offsets, so that the work and its proof can
// use one open file from two threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

class InputFile {
 public:
  virtual ~InputFile() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly `length` bytes or false.
  virtual bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) = 0;
};

// A new file in the output's folder that nobody else may open.
class TempFile {
 public:
  virtual ~TempFile() = default;
  // All `length` bytes or false.
  virtual bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) = 0;
  virtual bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) = 0;
  // Written through to the disk.
  virtual bool Flush() = 0;
};

// An existing file that this job has taken: no other job may take it until
// this goes away.
using FileHold = Opaque<struct HoldTag>;

// A job's input reopened for its delete: looked at first, then removed
// exactly as it is, never whatever else might stand under its name.
class DeletableFile {
 public:
  virtual ~DeletableFile() = default;
  virtual FileIdentity Identity() = 0;
  virtual bool Delete() = 0;
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
  // Closes the file and puts it under `finalPath`, replacing what stands
  // there. On false the file is removed and `finalPath` is untouched.
  virtual bool Commit(std::unique_ptr<TempFile> file, const std::wstring& finalPath) = 0;
  // Closes and removes the file.
  virtual void Discard(std::unique_ptr<TempFile> file) = 0;
};

// What a whole file job needs besides: inputs and outputs taken against
// other jobs, and the delete of its input.
class FileSystem : public StreamFiles {
 public:
  // What stands under `path`; a symbolic link counts as a file.
  virtual PathKind Kind(const std::wstring& path) = 0;
  // OpenRead, and the file taken for this job. Null with InUse when another
  // job has it, CannotRead when it cannot be opened.
  virtual std::unique_ptr<InputFile> OpenHeld(const std::wstring& path, FileIdentity* seen, Outcome* refused) = 0;
  // Takes an existing file that a commit is about to replace. Null when
  // another job holds it or it cannot be taken.
  virtual std::unique_ptr<FileHold> HoldExisting(const std::wstring& path) = 0;
  // Commit, but never over an existing file: false then, and the temporary
  // file is removed.
  virtual bool CommitNew(std::unique_ptr<TempFile> file, const std::wstring& finalPath) = 0;
  // Gives up the job's read of `file` (from OpenHeld) for a handle that can
  // delete it. Null when that cannot be had.
  virtual std::unique_ptr<DeletableFile> ForDelete(std::unique_ptr<InputFile> file, const std::wstring& path) = 0;
  // Removes temporary files of ours beside `path` that no running job holds,
  // as a crash or a power cut leaves them.
  virtual void RemoveLeftovers(const std::wstring& path) = 0;
};

}  // namespace ferrune
