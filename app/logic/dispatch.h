// The start-up decision: which page the window opens on, and the run's file.
#pragma once

#include <string>
#include <string_view>

namespace ferrune {

enum class PageChoice { Information, Encrypt, Decrypt, AlreadyEncrypted };

struct DispatchResult {
  PageChoice choice = PageChoice::Information;
  std::wstring targetFile;  // empty unless choice is Encrypt or Decrypt
};

DispatchResult Dispatch(std::wstring_view commandLine);

}  // namespace ferrune
