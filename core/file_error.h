// Why a file operation failed, as the system said it: the code in the
// system's own domain (errno, or a Win32 error) and the operation it
// answered. The core keeps, compares and passes it on; the platform that
// made it turns it into the system's words. Findings of the program itself
// have a domain and words of their own.
#pragma once

#include <cstdint>
#include <string_view>

namespace ferrune {

enum class ErrorDomain : std::uint8_t {
  None,     // nothing failed
  Posix,    // errno
  Win32,    // GetLastError()
  Ferrune,  // an OwnError: no system call failed, the program found it
};

// The operations of the file seams, as traces name them.
enum class FileOp : std::uint8_t {
  Open,
  Hold,
  Read,
  ReadPastCache,
  Write,
  Flush,
  Stamp,
  Create,
  Commit,
  SetAside,
  PutBack,
  Delete,
  Identify,
};

// What the program finds itself; each has its sentence in core/texts.h.
enum class OwnError : std::int32_t {
  Shrank = 1,     // the file ended before the size it had when it was opened
  HeldElsewhere,  // another job or program has the file under the output name
  ReadOnly,       // a read-only file under the output name
  Link,           // a link under the output name that the system would follow
  NoKeptName,     // a file set aside found every visible name beside it taken
  Abandoned,      // a read of an output whose writer gave up: the writer's own failure says why
  NotAFile,       // a folder, a device or a pipe where a file was asked for
};

struct [[nodiscard]] FileError {
  ErrorDomain domain = ErrorDomain::None;
  std::int32_t code = 0;
  FileOp op = FileOp::Open;

  bool ok() const { return domain == ErrorDomain::None; }
  bool operator==(const FileError&) const = default;

  static FileError Ok() { return {}; }
  static FileError Posix(int code, FileOp op) { return {ErrorDomain::Posix, code, op}; }
  static FileError Win32(std::uint32_t code, FileOp op) {
    return {ErrorDomain::Win32, static_cast<std::int32_t>(code), op};
  }
  static FileError Own(OwnError code, FileOp op) { return {ErrorDomain::Ferrune, static_cast<std::int32_t>(code), op}; }
};

// For traces: "write", "commit" and so on.
std::string_view FileOpName(FileOp op);

// The first failure wins: `first` keeps what it held unless that was no failure.
inline void KeepFirst(FileError* first, const FileError& error) {
  if (first->ok()) *first = error;
}

}  // namespace ferrune
