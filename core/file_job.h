// The whole task for one file as both front ends perform it: the input taken,
// the run, and the delete of the input once the output is in place.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_system.h"
#include "core/job_control.h"
#include "core/outcome.h"
#include "core/output_names.h"

namespace ferrune {

// Why an input stayed after a success.
enum class KeptReason {
  None,
  NotRemoved,  // the system refused the delete, or the file could not be reopened for it
  Changed,     // not the file that was read any more, or changed since
  OtherNames,  // a symbolic link, or a file with other hard links
  OutputGone,  // the output was replaced or removed before the input could go
  Moved,       // moved or renamed during the work: still there under another name
};

struct FileJobResult {
  Outcome outcome = Outcome::Failed;
  KeptReason kept = KeptReason::None;  // None unless a success left the input there
  bool removalNotDurable = false;      // deleted, but the folder's flush failed
};

struct FileJobRequest {
  JobKind kind = JobKind::Encrypt;
  std::wstring inputPath;
  bool keepInput = false;
  // A file that stands under the output name when the job starts may be
  // replaced: the user said so. One that appears later never is.
  bool replaceOutput = false;
  // With replaceOutput: only this file, the one the user was asked about
  // (as HoldExisting told it), unchanged; another gives OutputChanged.
  std::optional<FileIdentity> replaceOnly;
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
// `keptSeparator`, a delete that may not survive a power cut
// kRemovalNotDurable.
std::wstring OutcomeText(const FileJobResult& result, JobKind kind, std::wstring_view keptSeparator = L"\n");

}  // namespace ferrune
