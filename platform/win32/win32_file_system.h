// The container's file system over Win32 with wide paths. The input is
// opened read-only and shared for reading only, and a job takes it with an
// exclusive byte-range lock far past its end, which keeps other jobs (zrv.exe
// and the window alike) off it and lets readers in. The temporary output is a
// new file beside the final name that nobody else may open, marked for
// deletion until the commit renames it through its own handle, so that it
// goes with the process however that ends.
#pragma once

#ifdef _WIN32
#include "core/file_system.h"

namespace ferrune {

class Win32FileSystem final : public FileSystem {
 public:
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
};

// The folder part of a path, with its trailing separator; empty for a bare name.
std::wstring FolderOf(const std::wstring& path);

}  // namespace ferrune
#endif
