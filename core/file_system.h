// What the container needs of the file system. Portable: the Windows build
// puts Win32 behind it, tests put memory or faults behind it.
//
// Reads and writes take explicit offsets, so that the work and its proof can
// use one open file from two threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace ferrune {

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

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Read only, others may read but not write. Null when it cannot be opened.
  virtual std::unique_ptr<InputFile> OpenRead(const std::wstring& path) = 0;
  // Null when no file can be made beside `finalPath`.
  virtual std::unique_ptr<TempFile> CreateTemp(const std::wstring& finalPath) = 0;
  // Closes the file and puts it under `finalPath`, replacing what stands
  // there. On false the file is removed and `finalPath` is untouched.
  virtual bool Commit(std::unique_ptr<TempFile> file, const std::wstring& finalPath) = 0;
  // Closes and removes the file.
  virtual void Discard(std::unique_ptr<TempFile> file) = 0;
  // A plain delete of a file that is not open here.
  virtual bool Remove(const std::wstring& path) = 0;
};

}  // namespace ferrune
