// The container's file system over Win32 with wide paths. The input is
// opened read-only and shared for reading only; the temporary output is a
// new file beside the final name that nobody else may open, moved over the
// final name with write-through once it has been proven.
#pragma once

#ifdef _WIN32
#include "file_system.h"

namespace ferrune {

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> OpenRead(const std::wstring& path) override;
  std::unique_ptr<TempFile> CreateTemp(const std::wstring& finalPath) override;
  bool Commit(std::unique_ptr<TempFile> file, const std::wstring& finalPath) override;
  void Discard(std::unique_ptr<TempFile> file) override;
  bool Remove(const std::wstring& path) override;
};

// The folder part of a path, with its trailing separator; empty for a bare name.
std::wstring FolderOf(const std::wstring& path);

}  // namespace ferrune
#endif
