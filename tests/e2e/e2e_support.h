// What several end-to-end tests share: the trace of a run and the key container.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "driver.h"

namespace e2e {

// A run of ferrune.exe with its trace file.
struct TracedRun {
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

std::string Utf8(const std::wstring& s);

}  // namespace e2e
