#include "cli/zrv.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "cli/options.h"
#include "cli/password.h"
#include "core/decryption.h"
#include "core/file_job.h"
#include "core/password_rules.h"
#include "core/path_rules.h"
#include "core/progress_throttle.h"
#include "core/stream_crypt.h"
#include "core/texts.h"
#include "core/utf.h"

namespace ferrune::cli {
namespace {

// Decrypts to nowhere: the whole path runs, padding check included.
class DiscardSink final : public PlainSink {
 public:
  Outcome Begin() override { return Outcome::Success; }
  Outcome Put(const std::uint8_t*, std::size_t) override { return Outcome::Success; }
  Outcome End() override { return Outcome::Success; }
};

// The last path component is empty: nothing to name the output.
bool EndsInFolder(const std::wstring& path) {
  return path.empty() || path.back() == L'/' || path.back() == L'\\' || path.back() == L':';
}

class Progress {
 public:
  Progress(Console& console, bool shown, std::string name) : console_(console), shown_(shown), name_(std::move(name)) {}
  ~Progress() { Clear(); }

  void Report(std::uint64_t done, std::uint64_t total) {
    if (!shown_ || !throttle_.Due(done, total)) return;
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
  ProgressThrottle throttle_;
};

struct FileResult {
  Outcome outcome = Outcome::Failed;
  std::string message;
  int exitCode = ExitCodeOf(Outcome::Failed);
};

// The window's words, but for what only the tool does, then why: the
// input kept, a file set aside that did not go back, the system's reason.
std::string OutcomeMessage(const FileJobResult& result, Command command, Platform& platform) {
  if (result.outcome == Outcome::Cancelled) return texts::kCancelledNothingWritten;
  if (command == Command::Check) {
    if (result.outcome == Outcome::Success) return texts::kCheckPassed;
    command = Command::Decrypt;
  }
  const JobKind kind = command == Command::Encrypt ? JobKind::Encrypt : JobKind::Decrypt;
  return PlainText(OutcomeLine(result, kind, [&](const FileError& error) {
                     return WideFromUtf8(platform.ErrorText(error));
                   }).c_str());
}

FileResult Refused(std::string message) {
  FileResult result;
  result.message = std::move(message);
  result.exitCode = kExitUsage;
  return result;
}

// Where a command writes for `path`; nothing for a check.
std::wstring OutputOf(Command command, const std::wstring& path) {
  if (command == Command::Check) return {};
  return OutputFileName(command == Command::Encrypt ? JobKind::Encrypt : JobKind::Decrypt, path);
}

// The same file by any name: a link followed, another hard link alike.
bool IsFile(FileSystem& files, const std::wstring& path, const std::optional<FileIdentity>& file) {
  FileIdentity seen;
  return file && files.Identify(path, &seen).ok() && SameFile(seen, *file);
}

// One sweep of a folder for what dead jobs left there is enough for a run.
class SweptFolders {
 public:
  // True the first time for the folder of `path`.
  bool First(const std::wstring& path) {
    return swept_.insert(path.substr(0, path.size() - NameOf(path).size())).second;
  }

 private:
  std::set<std::wstring> swept_;
};

FileResult ProcessFile(const Options& options, const std::wstring& path, const SecretBytes& password,
                       Provider& provider, Platform& platform, Progress& progress, const std::atomic<bool>* cancel,
                       SweptFolders& swept) {
  FileResult result;
  JobControl control;
  control.cancel = cancel;
  control.progress = [&progress](std::uint64_t done, std::uint64_t total) { progress.Report(done, total); };
  FileSystem& files = platform.Files();
  FileJobRequest request;
  request.inputPath = path;
  request.keepInput = options.keep;
  request.replaceOutput = options.force;
  request.sweep = swept.First(path);
  FileJobResult job;
  switch (options.command) {
    case Command::Encrypt:
      // A ".zrv" file is taken to be encrypted already, whatever its case.
      if (IsEncryptedName(path, NameCase::AnyCase)) return Refused(PlainText(texts::kAlreadyEncrypted));
      request.kind = JobKind::Encrypt;
      job = RunFileJob(files, request, control,
                       [&](StreamFiles& jobFiles, const std::wstring& output, const JobControl& jobControl) {
                         return EncryptStream(provider, jobFiles, path, output, password, jobControl);
                       });
      break;
    case Command::Decrypt:
      // Any other name would lose its last four characters, whatever they are.
      if (!IsEncryptedName(path, NameCase::AnyCase)) return Refused(texts::kNotAnEncryptedName);
      if (EndsInFolder(DecryptedFileName(path))) {
        job.outcome = Outcome::CannotWrite;
        break;
      }
      request.kind = JobKind::Decrypt;
      job = RunFileJob(files, request, control,
                       [&](StreamFiles& jobFiles, const std::wstring& output, const JobControl& jobControl) {
                         return DecryptStream(provider, jobFiles, path, output, password, jobControl);
                       });
      break;
    case Command::Check: {
      // Held as a job holds its input, so that the sweep below leaves it
      // whatever its name; a hold of another job's keeps it as well.
      Taken taken = files.OpenHeld(path);
      std::unique_ptr<InputFile> input = std::move(taken.file);
      if (!input && taken.refused == Outcome::InUse) {
        Opened<InputFile> opened = files.OpenRead(path);
        input = std::move(opened.file);
        taken.error = opened.error;
      }
      if (!input) {
        job.outcome = Outcome::CannotRead;
        job.cause = taken.error;
        break;
      }
      // On every core, as a decryption that writes.
      DiscardSink sink;
      const StreamOptions stream;
      job.outcome = DecryptInto(provider, password, *input, sink, &control, stream.chunkSize, stream.decryptThreads);
      // Where no job ran since a crash, a check is what clears its leftovers.
      if (request.sweep) files.RemoveLeftovers(path);
      break;
    }
  }
  progress.Clear();
  result.outcome = job.outcome;
  result.message = OutcomeMessage(job, options.command, platform);
  result.exitCode = ferrune::ExitCodeOf(job);
  return result;
}

}  // namespace

int ExitCodeOf(Outcome outcome) { return RowOf(outcome).exitCode; }

std::string HelpText() {
  // Each status once, with what every outcome that gives it means.
  std::map<int, std::string> meanings = {{kExitUsage, texts::kUsageStatus}};
  for (const OutcomeRow& row : OutcomeRows()) {
    std::string& meaning = meanings[row.exitCode];
    meaning += (meaning.empty() ? "" : ",\n     or ") + std::string(row.exitMeaning);
  }
  std::string text = texts::kHelpStart;
  for (const auto& [code, meaning] : meanings) text += "  " + std::to_string(code) + "  " + meaning + "\n";
  return text + texts::kHelpEnd;
}

int RunZrv(const std::vector<std::wstring>& args, Console& console, Platform& platform,
           const std::atomic<bool>* cancel) {
  std::string error;
  const Options options = ParseOptions(args, &error);
  if (options.help) {
    console.Output(HelpText());
    return ExitCodeOf(Outcome::Success);
  }
  if (options.version) {
    console.Output(std::string(texts::kVersionLine) + "\n");
    return ExitCodeOf(Outcome::Success);
  }
  if (!error.empty()) {
    console.Error("zrv: " + error + "\n" + texts::kTryHelp + "\n");
    return kExitUsage;
  }
  if (!platform.CodePageAvailable(options.codePage)) {
    console.Error("zrv: " + texts::Filled(texts::kCodePageMissing, {std::to_string(options.codePage)}) + "\n");
    return kExitUsage;
  }
  std::string providerError;
  std::unique_ptr<Provider> provider = platform.MakeProvider(options.command == Command::Encrypt, &providerError);
  if (!provider) {
    console.Error("zrv: " + providerError + "\nzrv: " + texts::kNothingChanged + "\n");
    return ExitCodeOf(Outcome::Failed);
  }
  PasswordResult password = AcquirePassword(options, console, platform);
  if (!password.ok) {
    console.Error((password.message.empty() ? std::string() : "zrv: " + password.message + "\n") +
                  "zrv: " + texts::kNothingChanged + "\n");
    return kExitUsage;
  }

  // Looked at once; a job on it would lose the password, and an encryption
  // would even delete it.
  std::optional<FileIdentity> passwordFile;
  if (FileIdentity seen; options.passwordFile && platform.Files().Identify(*options.passwordFile, &seen).ok()) {
    passwordFile = seen;
  }

  console.WorkBegins();
  SweptFolders swept;
  const int success = ExitCodeOf(Outcome::Success);
  int exitCode = success;
  for (const std::wstring& path : options.files) {
    if (cancel && cancel->load()) {
      if (exitCode == success) exitCode = ExitCodeOf(Outcome::Cancelled);
      break;
    }
    const std::string name = platform.Display(path);
    Progress progress(console, console.ErrorIsTerminal(), name);
    FileResult result = IsFile(platform.Files(), path, passwordFile) ? Refused(texts::kIsPasswordFile)
                        : IsFile(platform.Files(), OutputOf(options.command, path), passwordFile)
                            ? Refused(texts::kOutputIsPasswordFile)
                            : ProcessFile(options, path, password.bytes, *provider, platform, progress, cancel, swept);
    if (const wchar_t* refused = password.standardBytes ? StandardBytesOutcomeText(result.outcome) : nullptr) {
      result.message = PlainText(refused) + " " + CodePageHint(options.codePage);
      result.exitCode = kExitUsage;
    }
    console.Error("zrv: " + name + ": " + result.message + "\n");
    if (exitCode == success) exitCode = result.exitCode;
  }
  return exitCode;
}

}  // namespace ferrune::cli
