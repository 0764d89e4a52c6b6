// Real folders and files for the native tests.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "test_bytes.h"

namespace ferrune::testing {

// A fresh folder below TMPDIR, removed with everything in it afterwards.
class TempFolder {
 public:
  TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/ferrune-cli-XXXXXX";
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    if (!path_.empty()) Remove(path_);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path_.c_str())) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  static void Remove(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      ::chmod(path.c_str(), 0700);
      if (DIR* dir = ::opendir(path.c_str())) {
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir)) {
          const std::string name = entry->d_name;
          if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
        for (const std::string& name : names) Remove(path + "/" + name);
      }
      ::rmdir(path.c_str());
    } else {
      ::unlink(path.c_str());
    }
  }

  std::string path_;
};

inline void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace ferrune::testing
