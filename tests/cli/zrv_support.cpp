#include "tests/cli/zrv_support.h"

#include <fstream>
#include <iterator>

#ifndef _WIN32
#include "platform/posix/native_path.h"
#endif

namespace ferrune::testing {

std::unique_ptr<cli::Platform> RealPlatform() { return cli::MakePlatform(); }

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
