// What the tests of zrv's jobs share: the password on standard input, the
// test pause of one job, and the tool's line for a file.
#pragma once

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/zrv_process.h"
#include "tests/platform/posix/posix_support.h"

namespace ferrune::testing {

using namespace std::chrono_literals;

inline const std::string kPassword = "secret\n";

// The pause of one job: its gate file lives apart from the files at work.
class Gate {
 public:
  std::vector<std::string> Env(const std::string& step = "open") const {
    return {"FERRUNE_TEST_PAUSE=" + path(), "FERRUNE_TEST_PAUSE_AT=" + step};
  }
  std::string path() const { return folder_ / "gate"; }
  // True once the job waits at its step.
  bool Reached() const {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!Exists(path())) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(2ms);
    }
    return true;
  }
  void Open() const { ::unlink(path().c_str()); }

 private:
  TempFolder folder_;
};

// True once `signal` is no longer pending for `pid`, as /proc tells.
inline bool SignalTaken(pid_t pid, int signal) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    bool pending = false;
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("SigPnd:", 0) != 0 && line.rfind("ShdPnd:", 0) != 0) continue;
      pending = pending || (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
    }
    if (!pending) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

inline Ran RunZrv(std::vector<std::string> args) { return Process(std::move(args), kPassword).Wait(); }

inline std::string Line(const std::string& path, const std::string& message) {
  return "zrv: " + path + ": " + message + "\n";
}

// What an encrypted file holds, decrypted beside it under another name.
inline Bytes Decrypted(const TempFolder& dir, const std::string& name) {
  const std::string copy = dir / "check.zrv";
  WriteFile(copy, ReadFile(dir / name));
  const Ran ran = RunZrv({"decrypt", copy});
  EXPECT_EQ(ran.exitCode, 0) << ran.errors;
  const Bytes plain = ReadFile(dir / "check");
  ::unlink((dir / "check").c_str());
  return plain;
}

}  // namespace ferrune::testing
