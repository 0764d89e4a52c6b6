// The whole task for one file as both front ends perform it: the input taken,
// the run, and the delete of the input once the output is in place.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "core/job_control.h"
#include "core/outcome.h"
#include "core/output_names.h"

namespace ferrune {

// Why an input stayed after a success.
enum class KeptReason {
  None,
  NotRemoved,     // the system refused the delete, or the file could not be reopened for it
  Changed,        // not the file that was read any more, or changed since
  OtherNames,     // a symbolic link, or a file with other hard links
  OutputGone,     // the output was replaced or removed before the input could go
  Moved,          // the input has another name now
  OpenElsewhere,  // another program has the input open
};

struct FileJobResult {
  Outcome outcome = Outcome::Failed;
  KeptReason kept = KeptReason::None;  // None unless a success left the input there
  bool removalNotDurable = false;      // deleted, but the folder's flush failed
  // What the system said of the failure that decided the outcome (the
  // first one), or of the delete that left the input there.
  FileError cause = {};
  // A file of the user's that the job set aside and that did not go back
  // under its own name.
  Displaced displaced = {};
  // For InUse: the programs that have the file, where the system can tell.
  std::vector<std::wstring> holders = {};
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
  // Clears what dead jobs left in the output's folder first; a caller that
  // runs many jobs in one folder sweeps it once.
  bool sweep = true;
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

// Why the input stayed; empty when no reason is told.
std::wstring KeptReasonText(KeptReason reason);

// The outcome as the user reads it; the programs that hold a file in use
// in brackets after it; a kept input adds kOriginalKept after
// `keptSeparator`, a delete that may not survive a power cut
// kRemovalNotDurable.
std::wstring OutcomeText(const FileJobResult& result, JobKind kind, std::wstring_view keptSeparator = L"\n");

// " (<first>, <second>)": the programs that hold a file.
std::wstring HoldersText(const std::vector<std::wstring>& holders);

// Where a file set aside went, when not back to its own name; empty otherwise.
std::wstring DisplacedText(const Displaced& displaced);

// The sentence for the result's cause: ours from core/texts.h (with the
// programs that hold a file under the output name), the system's from
// `system`, which the platform that made it supplies. Empty for no failure.
using SystemText = std::function<std::wstring(const FileError&)>;
std::wstring CauseText(const FileJobResult& result, const SystemText& system);

// Whether the system's reason belongs to the failure and comes first, or
// to what became of the input and comes last: the order of the tool's line
// and of the window's reasons.
inline bool CauseComesFirst(const FileJobResult& result) {
  return result.outcome != Outcome::Success && result.displaced.name.empty();
}

// The outcome on one line, as the tool says it: the outcome's words, what
// became of the input and why, where a file set aside went, and the
// system's reason, after the words of the failure it belongs to.
std::wstring OutcomeLine(const FileJobResult& result, JobKind kind, const SystemText& system);

// The tool's exit status: the outcome's, or "cannot write" when this job's
// output is not there after all or a file set aside lies hidden.
int ExitCodeOf(const FileJobResult& result);

}  // namespace ferrune
