// The container's file system over POSIX calls. POSIX has no share modes, so
// the input is simply opened read-only (and must be a regular file). The
// temporary output is a new file beside the final name, made with O_EXCL and
// mode 0600, synced to disk, and renamed over the final name once proven.
#pragma once

#include <string>

#include "file_system.h"

namespace ferrune {

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> OpenRead(const std::wstring& path) override;
  std::unique_ptr<TempFile> CreateTemp(const std::wstring& finalPath) override;
  bool Commit(std::unique_ptr<TempFile> file, const std::wstring& finalPath) override;
  void Discard(std::unique_ptr<TempFile> file) override;
  bool Remove(const std::wstring& path) override;
};

// The folder part of a native path, "." for a bare name.
std::string NativeFolderOf(const std::string& path);

// The prefix of every temporary file's name.
inline constexpr char kTempPrefix[] = ".ferrune-";

}  // namespace ferrune
