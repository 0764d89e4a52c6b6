// zrv's terminal on POSIX: prompts without echo through termios, and the
// signals that cancel the file at hand.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <iterator>

#include "cli/platform.h"
#include "cli/typed_line.h"
#include "platform/posix/posix_temp_file.h"

namespace ferrune::cli {
namespace {

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    done += static_cast<std::size_t>(put);
  }
}

int ReadByte(int fd, std::uint8_t* byte) {
  for (;;) {
    const ssize_t got = ::read(fd, byte, 1);
    if (got < 0 && errno == EINTR) continue;
    return got < 0 ? -1 : static_cast<int>(got);
  }
}

// The terminal's settings while echo is off, for a signal to put back.
struct termios savedTerminal;
volatile sig_atomic_t echoOff = 0;

void RestoreAndDie(int signal) {
  if (echoOff) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// The first signal asks the file at hand to stop and clean up; a second one
// ends the program at once, with the shell's status for that signal (130
// for Ctrl+C), so that no script takes it for success. An unnamed temporary
// file goes with the process; a named one is removed here.
void RequestCancel(int signal) {
  if (CancelFlag().exchange(true)) {
    ferrune::ClearNamedNow();
    ::_exit(128 + signal);
  }
}

constexpr int kHandled[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// A signal that the caller set to be ignored stays ignored: nohup, and the
// background jobs of a script, which ignore SIGINT.
bool IgnoredByCaller(int index) {
  static const auto ignored = [] {
    std::array<bool, std::size(kHandled)> at{};
    for (std::size_t i = 0; i < at.size(); ++i) {
      struct sigaction old {};
      at[i] = ::sigaction(kHandled[i], nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
    }
    return at;
  }();
  return ignored[static_cast<std::size_t>(index)];
}

void Handle(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < static_cast<int>(std::size(kHandled)); ++i) {
    if (!IgnoredByCaller(i)) ::sigaction(kHandled[i], &action, nullptr);
  }
}

int KeyOf(const struct termios& settings, int index) {
  const cc_t key = settings.c_cc[index];
  return key == _POSIX_VDISABLE ? -1 : key;
}

// The editing keys the terminal's own editing would take.
EditKeys KeysOf(const struct termios& settings) {
  EditKeys keys;
  keys.erase = KeyOf(settings, VERASE);
  keys.kill = KeyOf(settings, VKILL);
  keys.end = KeyOf(settings, VEOF);
  if (settings.c_lflag & IEXTEN) {
    keys.wordErase = KeyOf(settings, VWERASE);
    keys.literalNext = KeyOf(settings, VLNEXT);
  }
  return keys;
}

class PosixConsole final : public Console {
 public:
  // Before the first handler goes in.
  PosixConsole() { IgnoredByCaller(0); }
  bool InputIsTerminal() override { return ::isatty(STDIN_FILENO) == 1; }
  bool ErrorIsTerminal() override { return ::isatty(STDERR_FILENO) == 1; }

  Typed ReadHidden(const std::string& prompt, SecretBytes* line) override {
    // Echo goes off before the prompt shows, so nothing typed at it is seen.
    struct termios quiet {};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &savedTerminal) == 0;
    EditKeys keys;
    if (terminal) {
      quiet = savedTerminal;
      // The line is edited here, with the terminal's keys, byte by byte.
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
      quiet.c_cc[VMIN] = 1;
      quiet.c_cc[VTIME] = 0;
      keys = KeysOf(savedTerminal);
      Handle(RestoreAndDie);
      echoOff = 1;
      ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    WriteAll(STDERR_FILENO, prompt);
    TypedLine typed(keys);
    std::uint8_t byte = 0;
    while (ReadByte(STDIN_FILENO, &byte) == 1 && typed.Put(byte)) {
    }
    if (terminal) {
      ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
      echoOff = 0;
      Handle(SIG_DFL);
    }
    // The line end that echo did not show.
    WriteAll(STDERR_FILENO, "\n");
    return typed.Take(line);
  }

  bool ReadVisible(const std::string& prompt, std::string* line) override {
    WriteAll(STDERR_FILENO, prompt);
    line->clear();
    std::uint8_t byte = 0;
    int got = 0;
    while ((got = ReadByte(STDIN_FILENO, &byte)) == 1 && byte != '\n' && byte != '\r') {
      if (line->size() < 256) *line += static_cast<char>(byte);
    }
    return got == 1 || !line->empty();
  }

  int ReadInputByte(std::uint8_t* byte) override { return ReadByte(STDIN_FILENO, byte); }
  // Until now a signal simply ends the program: nothing has been made yet.
  void WorkBegins() override { Handle(RequestCancel); }
  void Error(const std::string& text) override { WriteAll(STDERR_FILENO, text); }
  void Output(const std::string& text) override { WriteAll(STDOUT_FILENO, text); }
};

}  // namespace

std::unique_ptr<Console> MakeConsole() { return std::make_unique<PosixConsole>(); }

}  // namespace ferrune::cli
