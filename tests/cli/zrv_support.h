// The zrv tool's tests drive RunZrv with a scripted console on the real
// platform of the build (OpenSSL and POSIX natively, CryptoAPI and Win32
// under Wine), in a fresh folder.
#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/platform.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/test_bytes.h"

namespace ferrune::testing {

namespace fs = std::filesystem;

std::unique_ptr<cli::Platform> RealPlatform();
// The system's words for a file that is not there.
std::string MissingFileText();
// A path as the tool takes it on the command line.
std::wstring Arg(const fs::path& path);

class ScriptedConsole final : public cli::Console {
 public:
  bool terminal = false;
  std::deque<std::string> hidden;   // lines typed at the password prompts
  std::deque<std::string> answers;  // lines typed at a question
  std::string input;                // standard input when it is not a terminal
  std::vector<std::string> prompts;
  std::string errors;
  std::string output;

  bool InputIsTerminal() override { return terminal; }
  bool ErrorIsTerminal() override { return false; }
  cli::Typed ReadHidden(const std::string& prompt, SecretBytes* line) override {
    prompts.push_back(prompt);
    if (hidden.empty()) return cli::Typed::End;
    *line = SecretBytes::FromText(hidden.front());
    hidden.pop_front();
    return cli::Typed::Line;
  }
  bool ReadVisible(const std::string& prompt, std::string* line) override {
    prompts.push_back(prompt);
    if (answers.empty()) return false;
    *line = answers.front();
    answers.pop_front();
    return true;
  }
  int ReadInputByte(std::uint8_t* byte) override {
    if (inputRead_ == input.size()) return 0;
    *byte = static_cast<std::uint8_t>(input[inputRead_++]);
    return 1;
  }
  void Error(const std::string& text) override { errors += text; }
  void Output(const std::string& text) override { output += text; }

  std::size_t inputRead() const { return inputRead_; }

 private:
  std::size_t inputRead_ = 0;
};

// The shared temporary folder, by the name the zrv tests use.
using TestDir = TemporaryFolder;

void Write(const fs::path& path, const Bytes& data);
Bytes Read(const fs::path& path);

}  // namespace ferrune::testing
