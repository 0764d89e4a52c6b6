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

  std::unique_ptr<InputFile> OpenRead(const std::wstring& path) override;
  std::unique_ptr<TempFile> CreateTemp(const std::wstring& finalPath) override;
  bool Identify(const std::wstring& path, FileIdentity* seen) override;
  PathKind Kind(const std::wstring& path) override;
  std::unique_ptr<HeldFile> OpenHeld(const std::wstring& path, FileIdentity* seen, Outcome* refused) override;
  std::unique_ptr<FileHold> HoldExisting(const std::wstring& path, FileIdentity* seen) override;
  void RemoveLeftovers(const std::wstring& path) override;

 private:
  const bool unnamedTemps_;
};

}  // namespace ferrune
