#include "zrv_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include "win_platform.h"
#else
#include "native_path.h"
#include "posix_platform.h"
#endif

namespace ferrune::testing {

std::unique_ptr<cli::Platform> RealPlatform() {
#ifdef _WIN32
  return cli::MakeWindowsPlatform();
#else
  return cli::MakePosixPlatform();
#endif
}

std::wstring Arg(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return FromNativePath(path.string());
#endif
}

TestDir::TestDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ =
      fs::temp_directory_path() / ("ferrune-zrv-" + std::to_string(stamp) + "-" + std::to_string(counter.fetch_add(1)));
  fs::create_directories(path_);
}

TestDir::~TestDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::vector<std::string> TestDir::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    const std::u8string name = entry.path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  std::sort(names.begin(), names.end());
  return names;
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
