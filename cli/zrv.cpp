#include "zrv.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "decrypt_path.h"
#include "file_crypt.h"
#include "options.h"
#include "password.h"
#include "stream_crypt.h"
#include "texts.h"

#ifndef FERRUNE_VERSION
#define FERRUNE_VERSION "unknown"
#endif

namespace ferrune::cli {
namespace {

// The window shows progress from this size on; so does the terminal.
constexpr std::uint64_t kProgressFromSize = std::uint64_t{8} << 20;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// Decrypts to nowhere: the whole path runs, padding check included.
class DiscardSink final : public PlainSink {
 public:
  Outcome Begin() override { return Outcome::Success; }
  Outcome Put(const std::uint8_t*, std::size_t) override { return Outcome::Success; }
  Outcome End() override { return Outcome::Success; }
};

bool HasZrvExtension(const std::wstring& path) {
  if (path.size() < 4) return false;
  static const wchar_t kExt[] = L".zrv";
  for (std::size_t i = 0; i < 4; ++i) {
    wchar_t c = path[path.size() - 4 + i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != kExt[i]) return false;
  }
  return true;
}

// The last path component is empty: nothing to name the output.
bool EndsInFolder(const std::wstring& path) {
  return path.empty() || path.back() == L'/' || path.back() == L'\\' || path.back() == L':';
}

class Progress {
 public:
  Progress(Console& console, bool shown, std::string name) : console_(console), shown_(shown), name_(std::move(name)) {}
  ~Progress() { Clear(); }

  void Report(std::uint64_t done, std::uint64_t total) {
    if (!shown_ || total < kProgressFromSize) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < kProgressInterval && done < total) return;
    last_ = now;
    const unsigned percent = static_cast<unsigned>(done * 100 / total);
    std::string line = "\rzrv: " + name_ + ": " + std::to_string(percent) + "%";
    width_ = std::max(width_, line.size());
    console_.Error(line);
    drawn_ = true;
  }
  void Clear() {
    if (!drawn_) return;
    std::string blank(width_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    console_.Error(blank);
    drawn_ = false;
  }

 private:
  Console& console_;
  const bool shown_;
  const std::string name_;
  bool drawn_ = false;
  std::size_t width_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

struct FileResult {
  Outcome outcome = Outcome::Failed;
  std::string message;
  int exitCode = kExitOther;
};

std::string OutcomeMessage(Outcome outcome, Command command) {
  switch (outcome) {
    case Outcome::Success:
      if (command == Command::Check) return "The file is well formed and the password is right";
      return PlainText(command == Command::Encrypt ? ferrune::texts::kEncrypted : ferrune::texts::kDecrypted);
    case Outcome::WrongPassword: return PlainText(ferrune::texts::kInvalidPassword);
    case Outcome::Damaged: return PlainText(ferrune::texts::kDamaged);
    case Outcome::CannotRead: return PlainText(ferrune::texts::kCannotRead);
    case Outcome::CannotWrite: return PlainText(ferrune::texts::kCannotWrite);
    case Outcome::Cancelled: return "Cancelled, nothing was written";
    case Outcome::Failed: break;
  }
  return PlainText(command == Command::Decrypt ? ferrune::texts::kDecryptionFailed : ferrune::texts::kEncryptionFailed);
}

FileResult ProcessFile(const Options& options, const std::wstring& path, const SecretBytes& password,
                       Provider& provider, Platform& platform, Progress& progress, const std::atomic<bool>* cancel) {
  FileResult result;
  JobControl control;
  control.cancel = cancel;
  control.progress = [&progress](std::uint64_t done, std::uint64_t total) { progress.Report(done, total); };
  FileSystem& files = platform.Files();
  switch (options.command) {
    case Command::Encrypt:
      // As the window: a ".zrv" file is taken to be encrypted already.
      if (HasZrvExtension(path)) {
        result.message = PlainText(ferrune::texts::kAlreadyEncrypted);
        result.exitCode = kExitUsage;
        return result;
      }
      result.outcome = EncryptStream(provider, files, path, EncryptedFileName(path), password, control);
      break;
    case Command::Decrypt: {
      const std::wstring plainPath = DecryptedFileName(path);
      result.outcome = EndsInFolder(plainPath) ? Outcome::CannotWrite
                                               : DecryptStream(provider, files, path, plainPath, password, control);
      break;
    }
    case Command::Check: {
      auto input = files.OpenRead(path);
      if (!input) {
        result.outcome = Outcome::CannotRead;
      } else {
        DiscardSink sink;
        result.outcome = DecryptPath(provider, password, *input, sink, &control, StreamOptions{}.chunkSize);
      }
      break;
    }
  }
  progress.Clear();
  result.message = OutcomeMessage(result.outcome, options.command);
  result.exitCode = ExitCodeOf(result.outcome);
  if (result.outcome == Outcome::Success && options.command != Command::Check && !options.keep &&
      !platform.RemoveFile(path)) {
    // The output is in place: the data is safe, the input is still there.
    result.message += ". " + PlainText(ferrune::texts::kOriginalKept);
  }
  return result;
}

}  // namespace

int ExitCodeOf(Outcome outcome) {
  switch (outcome) {
    case Outcome::Success: return kExitSuccess;
    case Outcome::WrongPassword: return kExitWrongPassword;
    case Outcome::Damaged: return kExitDamaged;
    case Outcome::CannotRead: return kExitCannotRead;
    case Outcome::CannotWrite: return kExitCannotWrite;
    case Outcome::Cancelled:
    case Outcome::Failed: break;
  }
  return kExitOther;
}

std::string HelpText() {
  return "Usage: zrv encrypt|decrypt|check [OPTION]... FILE...\n"
         "Encrypt files with a password into .zrv files, decrypt them, or check them.\n"
         "\n"
         "  encrypt    write FILE.zrv beside each FILE, then delete FILE\n"
         "  decrypt    write each FILE less its last four characters, then delete FILE\n"
         "  check      say whether each FILE is well formed and the password right;\n"
         "             nothing is written\n"
         "\n"
         "  -k, --keep              keep the input files\n"
         "      --password-file F   take the password from the first line of file F\n"
         "      --code-page N       password bytes in Windows code page N: 874 or\n"
         "                          1250 to 1258 (default 1252)\n"
         "  -h, --help              show this help\n"
         "      --version           show the version\n"
         "\n"
         "Without --password-file the password is read from the terminal without\n"
         "echo (twice to encrypt), or from the first line of standard input when\n"
         "that is not a terminal.\n"
         "\n"
         "Exit status: 0 success, 1 wrong password, 2 usage or password refused,\n"
         "3 damaged file, 4 cannot read, 5 cannot write, 6 other failure. With\n"
         "several files every file is tried; the status is the first failure's.\n";
}

int RunZrv(const std::vector<std::wstring>& args, Console& console, Platform& platform,
           const std::atomic<bool>* cancel) {
  std::string error;
  const Options options = ParseOptions(args, &error);
  if (options.help) {
    console.Output(HelpText());
    return kExitSuccess;
  }
  if (options.version) {
    console.Output(std::string("zrv (Ferrune) ") + FERRUNE_VERSION + "\n");
    return kExitSuccess;
  }
  if (!error.empty()) {
    console.Error("zrv: " + error + "\nTry 'zrv --help' for more information.\n");
    return kExitUsage;
  }
  if (!platform.CodePageAvailable(options.codePage)) {
    console.Error("zrv: code page " + std::to_string(options.codePage) + " is not available on this system.\n");
    return kExitUsage;
  }
  std::string providerError;
  std::unique_ptr<Provider> provider = platform.MakeProvider(options.command == Command::Encrypt, &providerError);
  if (!provider) {
    console.Error("zrv: " + providerError + "\nzrv: nothing was changed.\n");
    return kExitOther;
  }
  PasswordResult password = AcquirePassword(options, console, platform);
  if (!password.ok) {
    console.Error((password.message.empty() ? std::string() : "zrv: " + password.message + "\n") +
                  "zrv: nothing was changed.\n");
    return kExitUsage;
  }

  console.WorkBegins();
  int exitCode = kExitSuccess;
  for (const std::wstring& path : options.files) {
    if (cancel && cancel->load()) {
      if (exitCode == kExitSuccess) exitCode = kExitOther;
      break;
    }
    const std::string name = platform.Display(path);
    Progress progress(console, console.ErrorIsTerminal(), name);
    const FileResult result = ProcessFile(options, path, password.bytes, *provider, platform, progress, cancel);
    console.Error("zrv: " + name + ": " + result.message + "\n");
    if (exitCode == kExitSuccess) exitCode = result.exitCode;
  }
  return exitCode;
}

}  // namespace ferrune::cli
