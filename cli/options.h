// The command line: a command, options anywhere before "--", and files.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ferrune::cli {

enum class Command { Encrypt, Decrypt, Check };

struct Options {
  Command command = Command::Encrypt;
  bool keep = false;
  bool force = false;  // replace a file that stands under an output name
  bool help = false;
  bool version = false;
  std::optional<std::wstring> passwordFile;
  int codePage = 1252;
  std::vector<std::wstring> files;
};

// Empty `error` on success.
Options ParseOptions(const std::vector<std::wstring>& args, std::string* error);

}  // namespace ferrune::cli
