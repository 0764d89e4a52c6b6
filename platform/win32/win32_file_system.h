// The container's file system over Win32, every path in its long form
// ("\\?\"), so that a name is used exactly as given. The input is opened
// read-only and shared for reading only, and a job takes it with an
// exclusive byte-range lock far past its end, which keeps other jobs (zrv.exe
// and the window alike) off it and lets readers in. The temporary output is
// platform/win32/win32_temp_file.h's.
#pragma once

#ifdef _WIN32
#include "core/file_system.h"

namespace ferrune {

class Win32FileSystem final : public FileSystem {
 public:
  Opened<InputFile> OpenRead(const std::wstring& path) override;
  Opened<TempFile> CreateTemp(const std::wstring& finalPath) override;
  FileError Identify(const std::wstring& path, FileIdentity* seen) override;
  PathKind Kind(const std::wstring& path, FileError* error) override;
  Taken OpenHeld(const std::wstring& path) override;
  Hold HoldExisting(const std::wstring& path) override;
  void RemoveLeftovers(const std::wstring& path) override;
  std::vector<std::wstring> WhoHolds(const std::wstring& path) override;
};

}  // namespace ferrune
#endif
