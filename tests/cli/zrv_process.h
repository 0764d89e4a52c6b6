// The native zrv as a child process, for the tests that drive it.
#pragma once

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/temp_name.h"
#include "tests/platform/posix/posix_support.h"

namespace ferrune::testing {

struct Ran {
  int exitCode = -1;
  int signal = 0;
  std::string errors;
};

inline std::vector<char*> Argv(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

inline void Decode(int status, Ran* ran) {
  if (WIFEXITED(status)) ran->exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) ran->signal = WTERMSIG(status);
}

class Process {
 public:
  // Starts zrv with `args`, standard input from `input`, standard error
  // captured; through the command `through` when one is given (strace, nohup).
  Process(std::vector<std::string> args, const std::string& input, std::vector<std::string> env = {},
          std::vector<std::string> through = {}) {
    args.insert(args.begin(), ZRV_PATH);
    args.insert(args.begin(), through.begin(), through.end());
    int in[2], err[2];
    EXPECT_EQ(::pipe(in), 0);
    EXPECT_EQ(::pipe(err), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(err[1], 2);
      ::close(in[1]);
      ::close(err[0]);
      for (std::string& e : env) ::putenv(e.data());
      ::execvp(args[0].c_str(), Argv(args).data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(err[1]);
    if (!input.empty()) {
      EXPECT_EQ(::write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    }
    ::close(in[1]);
    err_ = err[0];
  }
  ~Process() {
    if (err_ >= 0) ::close(err_);
  }
  pid_t pid() const { return pid_; }

  Ran Wait() {
    Ran ran;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(err_, buffer, sizeof buffer)) > 0) ran.errors.append(buffer, static_cast<std::size_t>(got));
    int status = 0;
    ::waitpid(pid_, &status, 0);
    Decode(status, &ran);
    return ran;
  }

 private:
  pid_t pid_ = -1;
  int err_ = -1;
};

// A temporary output that `pid` has open in `dir`: a named one, or an unnamed
// one, which /proc shows as a deleted "#<inode>".
inline bool HasTemporaryOpen(pid_t pid, const TempFolder& dir) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* d = ::opendir(fds.c_str());
  bool found = false;
  while (const dirent* e = d ? ::readdir(d) : nullptr) {
    char target[4096];
    const ssize_t n = ::readlink((fds + "/" + e->d_name).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string link(target, static_cast<std::size_t>(n));
    if (link.rfind(dir.path() + "/", 0) != 0) continue;
    const std::string name = link.substr(dir.path().size() + 1);
    found = found || IsTempFileName(std::wstring(name.begin(), name.end())) || name.rfind("#", 0) == 0;
  }
  if (d) ::closedir(d);
  return found;
}

}  // namespace ferrune::testing
