// The native zrv program as a process: a missing legacy module, an interrupt
// in the middle of a file, and the terminal (a pseudo-terminal: no echo,
// the echo back after Ctrl+C, the progress line).
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/cli/zrv_process.h"
#include "tests/platform/posix/posix_support.h"

namespace ferrune::testing {
namespace {

using namespace std::chrono_literals;

TEST(ZrvProcess, WithoutTheLegacyModuleItSaysSoAndDoesNothing) {
  TempFolder dir;
  WriteFile(dir / "f", TextBytes("content"));
  Process p({"encrypt", dir / "f"}, "secret\n", {"OPENSSL_MODULES=" + dir.path() + "/no-modules"});
  const Ran ran = p.Wait();
  EXPECT_EQ(ran.exitCode, 6);
  EXPECT_EQ(ran.errors,
            "zrv: The RC2 cipher is not available: OpenSSL's legacy provider (legacy module) cannot be "
            "loaded from " +
                dir.path() + "/no-modules.\nzrv: nothing was changed.\n");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"f"});
  EXPECT_EQ(ReadFile(dir / "f"), TextBytes("content"));
}

TEST(ZrvProcess, AnInterruptCancelsTheFileAtHandAndLeavesNoTrace) {
  TempFolder dir;
  // Sparse, so that making it costs nothing; encrypting it takes a while.
  const int fd = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_EQ(::ftruncate(fd, 256 << 20), 0);
  ::close(fd);
  WriteFile(dir / "small", TextBytes("small"));
  Process p({"encrypt", dir / "big", dir / "small"}, "secret\n");
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  bool started = false;
  while (!started && std::chrono::steady_clock::now() < deadline) {
    started = HasTemporaryOpen(p.pid(), dir);
    if (!started) std::this_thread::sleep_for(2ms);
  }
  ASSERT_TRUE(started) << "no temporary file appeared";
  ::kill(p.pid(), SIGINT);
  const Ran ran = p.Wait();
  EXPECT_EQ(ran.signal, 0);
  EXPECT_EQ(ran.exitCode, 6);
  EXPECT_EQ(ran.errors, "zrv: " + (dir / "big") + ": Cancelled, nothing was written\n");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"big", "small"}));
  struct stat st {};
  ASSERT_EQ(::stat((dir / "big").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 256 << 20);
}

TEST(ZrvProcess, NamesAreReportedAsTheyWereGiven) {
  TempFolder dir;
  const std::string name = dir / "caf\xe9";
  WriteFile(name, TextBytes("latin-1 name"));
  Process p({"encrypt", name}, "secret\n");
  const Ran ran = p.Wait();
  EXPECT_EQ(ran.exitCode, 0);
  EXPECT_EQ(ran.errors, "zrv: " + name + ": Encryption completed\n");
  EXPECT_TRUE(Exists(name + ".zrv"));
}

// zrv on a pseudo-terminal, typed at like a person; as a shell's job when
// `job`: in a process group of its own in the foreground, which a stop
// stops, and which leaves unread keys where they are.
class Terminal {
 public:
  explicit Terminal(std::vector<std::string> args, bool job = false) {
    args.insert(args.begin(), ZRV_PATH);
    struct winsize size {
      24, 80, 0, 0
    };
    pid_ = ::forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      if (const pid_t zrv = job ? ::fork() : 0; zrv > 0) {
        int status = 0;
        while (::waitpid(zrv, &status, WUNTRACED) == zrv && WIFSTOPPED(status)) ::dprintf(1, "[stopped]\n");
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
      }
      struct termios modes {};
      if (job && ::setpgid(0, 0) == 0 && ::tcgetattr(0, &modes) == 0) {
        modes.c_lflag |= NOFLSH;
        ::signal(SIGTTOU, SIG_IGN);
        ::tcsetattr(0, TCSANOW, &modes);
        ::tcsetpgrp(0, ::getpid());
        ::signal(SIGTTOU, SIG_DFL);
      }
      ::execv(ZRV_PATH, Argv(args).data());
      ::_exit(127);
    }
  }
  ~Terminal() {
    if (master_ >= 0) ::close(master_);
  }

  // Reads until `text` has been shown, or a time-out.
  bool WaitFor(const std::string& text, std::chrono::seconds timeout = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (screen_.find(text, seen_) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline || !Pump(100)) return false;
    }
    seen_ = screen_.find(text, seen_) + text.size();
    return true;
  }
  void Type(const std::string& keys) {
    EXPECT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  bool EchoOn() {
    struct termios t {};
    return ::tcgetattr(master_, &t) == 0 && (t.c_lflag & ECHO);
  }
  void Continue() { ::kill(-::tcgetpgrp(master_), SIGCONT); }
  Ran Wait() {
    while (Pump(100)) {
    }
    Ran ran;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    Decode(status, &ran);
    ran.errors = screen_;
    return ran;
  }
  const std::string& screen() const { return screen_; }

 private:
  // False once the other side is gone.
  bool Pump(int ms) {
    struct pollfd p {
      master_, POLLIN, 0
    };
    if (::poll(&p, 1, ms) <= 0) return true;
    char buffer[4096];
    const ssize_t got = ::read(master_, buffer, sizeof buffer);
    if (got <= 0) return false;
    screen_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  std::string screen_;
  std::size_t seen_ = 0;
};

TEST(ZrvTerminal, PasswordsAreTypedWithoutEchoThroughAStopAndLargeFilesShowProgress) {
  TempFolder dir;
  const Bytes data = RandomBytes(12 << 20, 4);
  WriteFile(dir / "big", data);
  {
    // Ctrl+Z halfway once left the echo off for the shell, and on for the
    // rest after fg; a line typed ahead was thrown away.
    Terminal t({"encrypt", dir / "big"}, true);
    ASSERT_TRUE(t.WaitFor("Enter a password: "));
    EXPECT_FALSE(t.EchoOn());
    t.Type("Gehe\x1a");
    ASSERT_TRUE(t.WaitFor("[stopped]"));
    EXPECT_TRUE(t.EchoOn());
    t.Continue();
    ASSERT_TRUE(t.WaitFor("Enter a password: "));
    EXPECT_FALSE(t.EchoOn());
    t.Type("imnis\nGeheimnis\n");
    ASSERT_TRUE(t.WaitFor("Encryption completed"));
    const Ran ran = t.Wait();
    EXPECT_EQ(ran.exitCode, 0) << ran.errors;
    EXPECT_EQ(ran.errors.find("Gehe"), std::string::npos) << ran.errors;
    EXPECT_EQ(ran.errors.find("imnis"), std::string::npos) << ran.errors;
    EXPECT_EQ(Process({"check", dir / "big.zrv"}, "Geheimnis\n").Wait().exitCode, 0);
    EXPECT_NE(ran.errors.find("zrv: " + (dir / "big") + ": 100%"), std::string::npos) << ran.errors;
    EXPECT_NE(ran.errors.find("Encryption completed"), std::string::npos);
  }
  {
    Terminal t({"decrypt", dir / "big.zrv"});
    ASSERT_TRUE(t.WaitFor("Enter the password used to encrypt big: "));
    t.Type("geheimnis\n");
    const Ran ran = t.Wait();
    EXPECT_EQ(ran.exitCode, 1);
    EXPECT_NE(ran.errors.find("Invalid password!"), std::string::npos) << ran.errors;
  }
  // A small file shows no progress.
  WriteFile(dir / "small", TextBytes("small"));
  Terminal t({"--keep", "encrypt", dir / "small"});
  ASSERT_TRUE(t.WaitFor("Enter a password: "));
  t.Type("Geheimnis\n");
  ASSERT_TRUE(t.WaitFor("Verify the password: "));
  t.Type("Geheimnis\n");
  const Ran ran = t.Wait();
  EXPECT_EQ(ran.exitCode, 0);
  EXPECT_EQ(ran.errors.find('%'), std::string::npos) << ran.errors;
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"big.zrv", "small", "small.zrv"}));
}

// The terminal's own editing once cut a pasted line at 4095 bytes without a
// word; the prompt now edits the line itself, with the terminal's keys.
TEST(ZrvTerminal, APromptTakesTheWholeLineWithTheTerminalsEditingKeys) {
  TempFolder dir;
  std::string pasted;
  while (pasted.size() < 5000) pasted += "0123456789abcdef";
  const struct {
    std::string typed;
    std::string password;
  } rows[] = {
      {pasted + "\n", pasted},
      {"abcX\x7f"
       "def\n",
       "abcdef"},  // erase
      {"wrong\x15"
       "secret1\n",
       "secret1"},  // kill
      {"p\xc3\xa4\x7f"
       "a ss\x17"
       "word\n",
       "pa word"},  // a whole UTF-8 character, then a word
      {"abc\x04"
       "def\x04\x04",
       "abcdef"},  // Ctrl+D hands over what came before, a second one ends
      {"\x16\x15"
       "x1234\n",
       "\x15x1234"},  // the next key as it is
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].password.substr(0, 20));
    const std::string file = dir / ("f" + std::to_string(i));
    WriteFile(file, TextBytes("content"));
    ASSERT_EQ(Process({"encrypt", file}, rows[i].password + "\n").Wait().exitCode, 0);
    Terminal t({"check", file + ".zrv"});
    ASSERT_TRUE(t.WaitFor("Enter the password used to encrypt f" + std::to_string(i) + ": "));
    t.Type(rows[i].typed);
    const Ran ran = t.Wait();
    EXPECT_EQ(ran.exitCode, 0) << ran.errors;
  }
  // Longer than any password taken: refused, never cut.
  Terminal t({"check", dir / "f0.zrv"});
  ASSERT_TRUE(t.WaitFor("Enter the password used to encrypt f0: "));
  t.Type(std::string(64 * 1024 + 1, 'x') + "\n");
  const Ran ran = t.Wait();
  EXPECT_EQ(ran.exitCode, 2);
  EXPECT_NE(ran.errors.find("zrv: The password typed is longer than 65536 bytes."), std::string::npos) << ran.errors;
}

TEST(ZrvTerminal, CtrlCAtThePromptGivesTheEchoBack) {
  TempFolder dir;
  WriteFile(dir / "f", TextBytes("content"));
  Terminal t({"encrypt", dir / "f"});
  ASSERT_TRUE(t.WaitFor("Enter a password: "));
  ASSERT_FALSE(t.EchoOn());
  t.Type("half");
  t.Type("\x03");
  const Ran ran = t.Wait();
  EXPECT_EQ(ran.signal, SIGINT);
  EXPECT_TRUE(t.EchoOn());
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"f"});
}

}  // namespace
}  // namespace ferrune::testing
