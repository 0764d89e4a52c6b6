// Real folders and files for the native tests.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/support/temporary_folder.h"
#include "tests/support/test_bytes.h"

namespace ferrune::testing {

// The shared folder with its paths as plain strings, for the tests written
// against this older helper.
class TempFolder : public TemporaryFolder {
 public:
  std::string operator/(const std::string& name) const { return TemporaryFolder::operator/(name).string(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_ = TemporaryFolder::path().string();
};

inline void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  Bytes data(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return data;
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace ferrune::testing
