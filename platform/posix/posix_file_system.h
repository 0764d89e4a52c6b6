// The container's file system over POSIX calls. POSIX has no share modes:
// the input is opened read-only (and must be a regular file), and a job
// takes it with an flock, which keeps other zrv jobs off it but binds no
// other program. The temporary output is an unnamed file (O_TMPFILE) in the
// output's folder where the system has it, so that it goes with the process
// however that ends; elsewhere a new file made with O_EXCL and mode 0600,
// locked while its job runs. It is synced to disk and named only once proven.
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
  bool Commit(std::unique_ptr<TempFile> file, const std::wstring& finalPath) override;
  void Discard(std::unique_ptr<TempFile> file) override;
  PathKind Kind(const std::wstring& path) override;
  std::unique_ptr<InputFile> OpenHeld(const std::wstring& path, FileIdentity* seen, Outcome* refused) override;
  std::unique_ptr<FileHold> HoldExisting(const std::wstring& path) override;
  bool CommitNew(std::unique_ptr<TempFile> file, const std::wstring& finalPath) override;
  std::unique_ptr<DeletableFile> ForDelete(std::unique_ptr<InputFile> file, const std::wstring& path) override;
  void RemoveLeftovers(const std::wstring& path) override;

 private:
  const bool unnamedTemps_;
};

// The folder part of a native path, "." for a bare name.
std::string NativeFolderOf(const std::string& path);

// The prefix of every named temporary file's name.
inline constexpr char kTempPrefix[] = ".ferrune-";

// Removes the named temporary files of this process's running jobs. Safe in a
// signal handler, for a program that is about to end at once.
void RemoveNamedTempsNow();

}  // namespace ferrune
