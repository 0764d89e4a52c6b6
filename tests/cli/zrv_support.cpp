#include "tests/cli/zrv_support.h"

#include <cerrno>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/posix/native_path.h"
#endif

namespace ferrune::testing {

std::unique_ptr<cli::Platform> RealPlatform() { return cli::MakePlatform(); }

std::string MissingFileText() {
#ifdef _WIN32
  return RealPlatform()->ErrorText(FileError::Win32(ERROR_FILE_NOT_FOUND, FileOp::Open));
#else
  return RealPlatform()->ErrorText(FileError::Posix(ENOENT, FileOp::Open));
#endif
}

std::wstring Arg(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return FromNativePath(path.string());
#endif
}

void Write(const fs::path& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Bytes Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace ferrune::testing
