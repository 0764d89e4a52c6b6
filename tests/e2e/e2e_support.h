// What several end-to-end tests share: the trace of a run and the key container.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "tests/e2e/driver.h"

namespace e2e {

// What the window's controls are to a user; the program keeps their design names.
inline constexpr int kDecryptButton = ferrune::ids::SpeedButton1;
inline constexpr int kDecryptHelpButton = ferrune::ids::SpeedButton2;
inline constexpr int kEncryptButton = ferrune::ids::SpeedButton3;
inline constexpr int kEncryptHelpButton = ferrune::ids::SpeedButton4;
inline constexpr int kInformationHelpButton = ferrune::ids::SpeedButton5;
inline constexpr int kRemoveButton = ferrune::ids::SpeedButton6;
inline constexpr int kAboutButton = ferrune::ids::SpeedButton9;
inline constexpr int kCloseButton = ferrune::ids::SpeedButton10;
inline constexpr int kWebLink = ferrune::ids::Panel9;
inline constexpr int kStatusText = ferrune::ids::Panel13;

// The application title, from the version the build defines.
inline constexpr wchar_t kTitle[] = L"Ferrune File Encrypter " FERRUNE_VERSION;

// A run of ferrune.exe with its trace file.
struct TracedRun {
  TempFolder folder;
  std::wstring traceFile;
  std::vector<std::wstring> environment;
  explicit TracedRun(std::vector<std::wstring> extra = {});
  std::vector<std::string> Lines() const;
  // The value of `key=` in the last line that starts with `prefix`.
  std::string Field(const std::string& prefix, const std::string& key) const;
};

// Public key blobs of the key container's exchange and signature pairs.
struct ContainerKeys {
  std::string exchange, signature;
};
ContainerKeys ReadContainerKeys();

// Where a job waits (FERRUNE_TEST_PAUSE), apart from the files at work.
class Gate {
 public:
  Gate() : path_(folder_ / L"gate") {}
  std::vector<std::wstring> Env(const std::wstring& step = L"open") const {
    return {L"FERRUNE_TEST_PAUSE=" + path_, L"FERRUNE_TEST_PAUSE_AT=" + step};
  }
  bool Reached() const {
    return WaitUntil([&] { return FileExists(path_); }, 30s);
  }
  void Open() const { DeleteFileW(path_.c_str()); }

 private:
  TempFolder folder_;
  std::wstring path_;
};

std::string Utf8(const std::wstring& s);

}  // namespace e2e
