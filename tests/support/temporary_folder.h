// A fresh folder for one test below FERRUNE_TEST_ROOT, or else below the
// system's temporary folder, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace ferrune::testing {

class TemporaryFolder {
 public:
  TemporaryFolder() : path_(MakeFresh()), owned_(true) {}
  // A folder that exists already; it stays afterwards.
  explicit TemporaryFolder(std::filesystem::path existing) : path_(std::move(existing)), owned_(false) {}
  ~TemporaryFolder() {
    if (owned_ && !path_.empty()) RemoveAll(path_);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // Narrow names are UTF-8 on every system.
  std::filesystem::path operator/(std::string_view name) const {
    return path_ / std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size());
  }
  std::filesystem::path operator/(std::wstring_view name) const { return path_ / std::filesystem::path(name); }
  const std::filesystem::path& path() const { return path_; }

  // The names in the folder, in UTF-8, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
      const std::u8string name = entry.path().filename().u8string();
      names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Empties the folder.
  void Clear() const {
    std::error_code ec;
    std::vector<std::filesystem::path> entries;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) entries.push_back(entry.path());
    for (const auto& entry : entries) RemoveAll(entry);
  }

 private:
  static std::filesystem::path Base() {
#ifdef _WIN32
    const wchar_t* root = _wgetenv(L"FERRUNE_TEST_ROOT");
#else
    const char* root = std::getenv("FERRUNE_TEST_ROOT");
#endif
    if (root && *root) return root;
    std::error_code ec;
    return std::filesystem::temp_directory_path(ec);
  }

  // Named after the running test, so that a folder left by a crash tells whose it was.
  static std::filesystem::path MakeFresh() {
    std::string leaf = "ferrune";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
      leaf = leaf + "-" + info->test_suite_name() + "." + info->name();
    }
    for (char& c : leaf) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
    }
    leaf.resize(std::min<std::size_t>(leaf.size(), 80));  // room below MAX_PATH
    const std::filesystem::path base = Base();
    std::error_code ec;
    std::filesystem::create_directories(base, ec);
    for (unsigned n = 0; n < 1000; ++n) {
      const std::filesystem::path candidate = base / (leaf + "-" + std::to_string(n));
      if (std::filesystem::create_directory(candidate, ec)) return candidate;
      if (ec) break;
    }
    ADD_FAILURE() << "cannot make a temporary folder below " << base << ": " << ec.message();
    return {};
  }

  // Tests leave read-only files and folders; they go too. Links are removed,
  // never followed.
  static void RemoveAll(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec) return;
    if (fs::is_directory(status)) {
      fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
      std::vector<fs::path> entries;
      for (const auto& entry : fs::directory_iterator(path, ec)) entries.push_back(entry.path());
      for (const auto& entry : entries) RemoveAll(entry);
    } else if (!fs::is_symlink(status)) {
      fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
    }
    fs::remove(path, ec);
  }

  std::filesystem::path path_;
  bool owned_;
};

}  // namespace ferrune::testing
