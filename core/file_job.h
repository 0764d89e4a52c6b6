// The whole task for one file as both front ends perform it: the output
// name, the run, and the delete of the input once the output is in place.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/file_system.h"
#include "core/job_control.h"
#include "core/outcome.h"

namespace ferrune {

enum class JobKind { Encrypt, Decrypt };

// How the ".zrv" extension is compared: exactly, as the window's command line
// does, or in any case, for names that passed through systems that change it.
enum class NameCase { Exact, AnyCase };

// True when the name's extension is ".zrv".
bool IsEncryptedName(std::wstring_view path, NameCase nameCase);

// The output names: the path with ".zrv" added; the path less its last four
// characters (an empty name when it has four or fewer).
std::wstring EncryptedFileName(const std::wstring& plainPath);
std::wstring DecryptedFileName(const std::wstring& encryptedPath);
std::wstring OutputFileName(JobKind kind, const std::wstring& inputPath);

// Why an input stayed after a success.
enum class KeptReason {
  None,
  NotRemoved,  // the delete failed, or the file could not be reopened for it
  Changed,     // not the file that was read any more, or changed since
  OtherNames,  // a symbolic link, or a file with other hard links
};

struct FileJobResult {
  Outcome outcome = Outcome::Failed;
  bool inputKept = false;  // success, but the input is still there
  KeptReason kept = KeptReason::None;
};

struct FileJobRequest {
  JobKind kind = JobKind::Encrypt;
  std::wstring inputPath;
  bool keepInput = false;
  // A file that stands under the output name when the job starts may be
  // replaced: the user said so. One that appears later never is.
  bool replaceOutput = false;
};

// Writes the output through `files`, which opens the job's input as already
// taken and commits as the job allows.
using FileOperation =
    std::function<Outcome(StreamFiles& files, const std::wstring& outputPath, const JobControl& control)>;

// One job on one file: takes the input so that no other job works on it,
// refuses an output that may not be replaced, removes leftovers of dead
// jobs beside the output, runs `operation`, and, when it succeeded and the
// input is not to be kept, deletes the input if it is still the file that
// was read, unchanged, under its only name. Never throws.
FileJobResult RunFileJob(FileSystem& files, const FileJobRequest& request, const JobControl& control,
                         const FileOperation& operation);

// "The file <name> already exists.\n\rDo you want to replace it?", the name
// without its folder.
std::wstring ReplaceQuestion(const std::wstring& outputPath);

// Why the input stayed, for the tool's line; empty when no reason is told.
std::wstring KeptReasonText(KeptReason reason);

// The outcome as the user reads it; a kept input adds kOriginalKept after
// `keptSeparator`.
std::wstring OutcomeText(const FileJobResult& result, JobKind kind, std::wstring_view keptSeparator = L"\n");

}  // namespace ferrune
