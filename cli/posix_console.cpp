// zrv's terminal on POSIX: prompts without echo through termios, a prompt
// that survives a stop, and the signals that cancel the file at hand.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <iterator>

#include "cli/platform.h"
#include "cli/typed_line.h"
#include "platform/posix/posix_io.h"
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

// The terminal's settings as the prompt found them, for a signal to put back.
struct termios savedTerminal;
// Set while the prompt's own settings (no echo) are on the terminal.
volatile sig_atomic_t echoOff = 0;

// A dying prompt leaves nothing typed for it to the shell, which would show it.
void RestoreAndDie(int signal) {
  if (echoOff) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// A stop (Ctrl+Z) and a continue at the prompt: the handlers only note them
// and wake the prompt's loop through a pipe; the loop acts on them.
volatile sig_atomic_t stopAsked = 0;
volatile sig_atomic_t continued = 0;
int wakeUp = -1;

void Note(volatile sig_atomic_t* what) {
  const int saved = errno;
  *what = 1;
  [[maybe_unused]] const ssize_t put = ::write(wakeUp, "", 1);
  errno = saved;
}
void NoteStop(int) { Note(&stopAsked); }
void NoteContinue(int) { Note(&continued); }

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
// background jobs of a script, which ignore SIGINT; a stop ignored likewise.
bool IgnoredByCaller(int signal) {
  static const auto ignored = [] {
    std::array<bool, NSIG> at{};
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP}) {
      struct sigaction old {};
      at[static_cast<std::size_t>(s)] = ::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
    }
    return at;
  }();
  return ignored[static_cast<std::size_t>(signal)];
}

void HandleSignal(int signal, void (*handler)(int), int flags = 0) {
  if (IgnoredByCaller(signal)) return;
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
}

void Handle(void (*handler)(int)) {
  for (const int signal : kHandled) HandleSignal(signal, handler);
}

// Restarted calls, so that a continue breaks into none; the pipe wakes poll.
void HandleJobControl(void (*stop)(int), void (*resume)(int)) {
  HandleSignal(SIGTSTP, stop, SA_RESTART);
  HandleSignal(SIGCONT, resume, SA_RESTART);
}

// The shell sets its own modes while the program is stopped: echo goes off
// again, and the prompt shows again for the rest of the line. In the
// background SIGTTOU stops tcsetattr until the program is in the foreground.
void TakeTerminal(const struct termios& quiet, const std::string& prompt) {
  echoOff = 1;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  // A continue that the call waited for is this one.
  continued = 0;
  WriteAll(STDERR_FILENO, prompt);
}

// The terminal goes back as it was found, and the program stops as it would
// without a handler; the line typed so far stays.
void StopHere(const struct termios& quiet) {
  stopAsked = 0;
  if (echoOff) ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
  echoOff = 0;
  HandleSignal(SIGTSTP, SIG_DFL);
  continued = 0;
  ::raise(SIGTSTP);
  HandleSignal(SIGTSTP, NoteStop, SA_RESTART);
  // A stop is ended by SIGCONT, which asks for the prompt again; where none
  // took place (a process group without a shell) the prompt stands as it was.
  if (!continued) TakeTerminal(quiet, "");
}

// One byte typed at the prompt, as ReadByte, with the stops on the way.
int ReadTyped(const struct termios& quiet, const std::string& prompt, int wake, std::uint8_t* byte) {
  for (;;) {
    if (continued) TakeTerminal(quiet, prompt);
    struct pollfd ready[] = {{STDIN_FILENO, POLLIN, 0}, {wake, POLLIN, 0}};
    // Before a stop, what is typed already is taken, so that none of it
    // reaches the shell.
    const int got = ::poll(ready, 2, stopAsked ? 0 : -1);
    if (got < 0 && errno != EINTR) return -1;
    std::uint8_t drained[64];
    if (got > 0 && ready[1].revents) {
      while (::read(wake, drained, sizeof drained) > 0) {
      }
    }
    if (got > 0 && ready[0].revents) return ReadByte(STDIN_FILENO, byte);
    if (stopAsked) StopHere(quiet);
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
  PosixConsole() {
    IgnoredByCaller(SIGINT);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
      wakeRead_ = UniqueFd(ends[0]);
      wakeWrite_ = UniqueFd(ends[1]);
      wakeUp = ends[1];
    }
  }
  bool InputIsTerminal() override { return ::isatty(STDIN_FILENO) == 1; }
  bool ErrorIsTerminal() override { return ::isatty(STDERR_FILENO) == 1; }

  Typed ReadHidden(const std::string& prompt, SecretBytes* line) override {
    const bool terminal = ::tcgetattr(STDIN_FILENO, &savedTerminal) == 0;
    TypedLine typed(terminal ? KeysOf(savedTerminal) : EditKeys{});
    std::uint8_t byte = 0;
    if (!terminal) {
      WriteAll(STDERR_FILENO, prompt);
      while (ReadByte(STDIN_FILENO, &byte) == 1 && typed.Put(byte)) {
      }
    } else {
      struct termios quiet = savedTerminal;
      // The line is edited here, with the terminal's keys, byte by byte.
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
      quiet.c_cc[VMIN] = 1;
      quiet.c_cc[VTIME] = 0;
      Handle(RestoreAndDie);
      stopAsked = 0;
      HandleJobControl(NoteStop, NoteContinue);
      // Echo goes off before the prompt shows, so nothing typed at it is seen.
      // TCSANOW, here and below: only input modes change, and what is typed
      // ahead stays for the prompt that reads it.
      continued = 1;
      while (ReadTyped(quiet, prompt, wakeRead_.get(), &byte) == 1 && typed.Put(byte)) {
      }
      if (echoOff) ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
      echoOff = 0;
      Handle(SIG_DFL);
      HandleJobControl(SIG_DFL, SIG_DFL);
      // A stop asked for as the line ended.
      if (stopAsked) ::raise(SIGTSTP);
      stopAsked = 0;
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

 private:
  // Where a stop or a continue wakes the prompt.
  UniqueFd wakeRead_;
  UniqueFd wakeWrite_;
};

}  // namespace

std::unique_ptr<Console> MakeConsole() { return std::make_unique<PosixConsole>(); }

}  // namespace ferrune::cli
