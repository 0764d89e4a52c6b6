// The container's file system over POSIX calls. POSIX has no share modes:
// the input is opened read-only (and must be a regular file), and a job
// takes it with an flock, which keeps other zrv jobs off it but binds no
// other program. The temporary output is platform/posix/posix_temp_file.h's.
#pragma once

#include <string>

#include "core/file_system.h"

namespace ferrune {

class PosixFileSystem final : public FileSystem {
 public:
  // `unnamedTemps` false makes every temporary file a named one, as on a
  // system without O_TMPFILE.
  explicit PosixFileSystem(bool unnamedTemps = true) : unnamedTemps_(unnamedTemps) {}

  Opened<InputFile> OpenRead(const std::wstring& path) override;
  Opened<TempFile> CreateTemp(const std::wstring& finalPath) override;
  FileError Identify(const std::wstring& path, FileIdentity* seen) override;
  PathKind Kind(const std::wstring& path, FileError* error) override;
  Taken OpenHeld(const std::wstring& path) override;
  Hold HoldExisting(const std::wstring& path) override;
  void RemoveLeftovers(const std::wstring& path) override;
  std::vector<std::wstring> WhoHolds(const std::wstring& path) override;

 private:
  const bool unnamedTemps_;
};

}  // namespace ferrune
