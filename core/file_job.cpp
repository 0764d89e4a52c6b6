#include "core/file_job.h"

#include <mutex>

#include "core/job_pause.h"
#include "core/path_rules.h"
#include "core/temp_name.h"
#include "core/texts.h"

namespace ferrune {

namespace {

// The first reason the system gave for a failure in the job's files, from
// whichever of the job's threads met it.
class FirstCause {
 public:
  void Keep(const FileError& error) {
    if (error.ok()) return;
    std::lock_guard lock(mutex_);
    KeepFirst(&first_, error);
  }
  // The error passed on, once kept.
  FileError Note(FileError error) {
    Keep(error);
    return error;
  }
  FileError Get() const {
    std::lock_guard lock(mutex_);
    return first_;
  }

 private:
  mutable std::mutex mutex_;
  FileError first_;
};

// The job's input, lent to the operation that reads it.
class BorrowedInput final : public InputFile {
 public:
  BorrowedInput(InputFile& inner, FirstCause& cause) : inner_(inner), cause_(cause) {}
  std::uint64_t Size() const override { return inner_.Size(); }
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return cause_.Note(inner_.ReadAt(offset, buffer, length));
  }
  FileError ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return cause_.Note(inner_.ReadPastCache(offset, buffer, length));
  }
  FileMetadata Metadata() const override { return inner_.Metadata(); }

 private:
  InputFile& inner_;
  FirstCause& cause_;
};

// The output's name: the file that a job may replace there, taken when the
// job starts and replaced at the commit only if it is still that file,
// unchanged; and the output that the commit put there, kept open until the
// job ends so that its identity holds.
struct OutputName {
  std::unique_ptr<FileHold> hold;
  FileIdentity replaced;
  std::optional<FileIdentity> committed;
  std::unique_ptr<TempFile> output;
  Displaced displaced;
};

// The job's output, committed only as the job allows.
class JobTempFile final : public TempFile {
 public:
  JobTempFile(std::unique_ptr<TempFile> inner, OutputName& name, FirstCause& cause)
      : inner_(std::move(inner)), name_(name), cause_(cause) {}
  ~JobTempFile() override {
    if (placed_) name_.output = std::move(inner_);
  }
  FileError WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    return cause_.Note(inner_->WriteAt(offset, data, length));
  }
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return cause_.Note(inner_->ReadAt(offset, buffer, length));
  }
  FileError Flush() override { return cause_.Note(inner_->Flush()); }
  bool ReadsPastCache() const override { return inner_->ReadsPastCache(); }
  FileError Identity(FileIdentity* now) override { return cause_.Note(inner_->Identity(now)); }
  FileError Stamp(const FileMetadata& from) override { return cause_.Note(inner_->Stamp(from)); }
  // Whatever the stream allows, the job's own rule holds. The hold stays
  // until the replaced file is gone: the commit sets it aside through it.
  Committed Commit(const std::wstring& finalPath, const Replacing&) override {
    PauseForTest(JobStep::Commit);
    if (FileIdentity now; Identity(&now).ok()) name_.committed = now;
    const Committed committed = inner_->Commit(
        finalPath, name_.hold ? Replacing::Only(name_.replaced, name_.hold.get()) : Replacing::Nothing());
    name_.hold.reset();
    cause_.Keep(committed.error);
    name_.displaced = committed.displaced;
    placed_ = committed.outcome == Outcome::Success || committed.outcome == Outcome::NotDurable;
    return committed;
  }

 private:
  std::unique_ptr<TempFile> inner_;
  OutputName& name_;
  FirstCause& cause_;
  bool placed_ = false;
};

// The files as the operation sees them during a job: its input is the one
// already taken, and its output is committed only as the job allows. Every
// failure they meet is noted for the job's result.
class JobFiles final : public StreamFiles {
 public:
  JobFiles(FileSystem& inner, const std::wstring& inputPath, InputFile& input, const std::wstring& outputPath,
           OutputName& name, FirstCause& cause)
      : inner_(inner), inputPath_(inputPath), input_(input), outputPath_(outputPath), name_(name), cause_(cause) {}

  Opened<InputFile> OpenRead(const std::wstring& path) override {
    if (path == inputPath_) return {std::make_unique<BorrowedInput>(input_, cause_), {}};
    Opened<InputFile> opened = inner_.OpenRead(path);
    cause_.Keep(opened.error);
    return opened;
  }
  Opened<TempFile> CreateTemp(const std::wstring& finalPath) override {
    Opened<TempFile> made = inner_.CreateTemp(finalPath);
    cause_.Keep(made.error);
    if (!made.file || finalPath != outputPath_) return made;
    return {std::make_unique<JobTempFile>(std::move(made.file), name_, cause_), {}};
  }

 private:
  FileSystem& inner_;
  const std::wstring& inputPath_;
  InputFile& input_;
  const std::wstring& outputPath_;
  OutputName& name_;
  FirstCause& cause_;
};

// Why the input may not go, as its name and the job's own open file show
// it; None when it may, or when another program removed it meanwhile (no
// name leads to it any more), which the job neither keeps nor loses.
std::optional<KeptReason> MustStay(const FileIdentity& seen, const FileIdentity& named,
                                   const std::optional<FileIdentity>& held) {
  const bool removed = held && held->links == 0;
  // A name that no longer shows the input is no delete while the file has
  // another name somewhere; where the job keeps no look at it, the delete
  // tells.
  if (named.links == 0) {
    if (!held) return std::nullopt;
    return removed ? KeptReason::None : KeptReason::Moved;
  }
  if (!SameFile(seen, named)) return held && !removed ? KeptReason::Moved : KeptReason::Changed;
  // Deleting through a link, or one name of several, would leave the data
  // readable elsewhere; a changed file holds data the output lacks.
  if (named.symbolicLink) return KeptReason::OtherNames;
  if (!SameContent(seen, named)) return KeptReason::Changed;
  if (seen.links != 1 || named.links != 1) return KeptReason::OtherNames;
  return std::nullopt;
}

// The output the commit put in place still stands there, unchanged: the
// input may go only while its content is there.
bool OutputStands(FileSystem& files, const std::wstring& outputPath, const std::optional<FileIdentity>& committed) {
  FileIdentity now;
  return committed && files.Identify(outputPath, &now).ok() && !now.symbolicLink && SameContentMoved(now, *committed);
}

KeptReason KeptBy(DeletableFile::Removal removal) {
  switch (removal) {
    case DeletableFile::Removal::Deleted:
    case DeletableFile::Removal::DeletedNotDurable:
    case DeletableFile::Removal::Gone: return KeptReason::None;
    case DeletableFile::Removal::Changed: return KeptReason::Changed;
    case DeletableFile::Removal::OtherNames: return KeptReason::OtherNames;
    case DeletableFile::Removal::OutputGone: return KeptReason::OutputGone;
    case DeletableFile::Removal::Moved: return KeptReason::Moved;
    case DeletableFile::Removal::OpenElsewhere: return KeptReason::OpenElsewhere;
    case DeletableFile::Removal::Failed: break;
  }
  return KeptReason::NotRemoved;
}

void RemoveInput(FileSystem& files, std::unique_ptr<HeldFile> input, const std::wstring& path, const FileIdentity& seen,
                 const std::wstring& outputPath, const OutputName& name, FileJobResult* result) {
  if (seen.symbolicLink) {
    result->kept = KeptReason::OtherNames;
    return;
  }
  const Opened<DeletableFile> file = input->ForDelete(path);
  input.reset();
  FileIdentity named;
  if (const FileError looked = file.file ? file.file->Identity(&named) : file.error; !looked.ok()) {
    result->kept = KeptReason::NotRemoved;
    KeepFirst(&result->cause, looked);
    return;
  }
  FileIdentity held;
  const bool knowsHeld = file.file->Held(&held);
  if (const std::optional<KeptReason> stays = MustStay(seen, named, knowsHeld ? std::optional(held) : std::nullopt)) {
    result->kept = *stays;
    return;
  }
  PauseForTest(JobStep::Delete);
  // A plain delete: the bytes are not overwritten and go to no recycle bin.
  const DeletableFile::Removed removed =
      file.file->Delete(seen, [&] { return OutputStands(files, outputPath, name.committed); });
  result->kept = KeptBy(removed.removal);
  result->removalNotDurable = removed.removal == DeletableFile::Removal::DeletedNotDurable;
  KeepFirst(&result->cause, removed.error);
  if (!removed.displaced.name.empty()) result->displaced = removed.displaced;
}

// Pauses for tests at the middle and at the end of the work, after the
// progress is out, so that a window paused there shows it.
JobControl Watched(const JobControl& control) {
  JobControl watched = control;
  watched.progress = [&control](std::uint64_t done, std::uint64_t total) {
    control.Report(done, total);
    if (done < total && done > 0) PauseForTest(JobStep::Middle);
    if (done == total) PauseForTest(JobStep::Written);
  };
  return watched;
}

// Refused because another job or program has `path`: who, where the system tells.
void RefusedInUse(FileSystem& files, const std::wstring& path, FileJobResult* result) {
  result->holders = files.WhoHolds(path);
}

FileJobResult RunTaken(FileSystem& files, const FileJobRequest& request, const JobControl& control,
                       const FileOperation& operation) {
  FileJobResult result;
  const std::wstring outputPath = OutputFileName(request.kind, request.inputPath);
  if (outputPath.empty()) {
    result.outcome = Outcome::CannotWrite;
    return result;
  }
  // A later sweep would take a file of that name for a leftover of ours.
  if (IsReservedName(NameOf(outputPath))) {
    result.outcome = Outcome::ReservedName;
    return result;
  }
  // The sweep comes after the input is taken, so that it leaves the input
  // alone whatever its name, and before the output name is looked at, so
  // that a file it puts back there is the one a replace is about. An input
  // missing because a dead job set it aside is back after it.
  Taken input = files.OpenHeld(request.inputPath);
  bool swept = false;
  if (!input.file && input.refused != Outcome::InUse && request.sweep) {
    files.RemoveLeftovers(outputPath);
    swept = true;
    input = files.OpenHeld(request.inputPath);
  }
  if (!input.file) {
    result.outcome = input.refused;
    result.cause = input.error;
    if (result.outcome == Outcome::InUse) RefusedInUse(files, request.inputPath, &result);
    return result;
  }
  if (request.sweep && !swept) files.RemoveLeftovers(outputPath);

  OutputName name;
  FileError looked;
  switch (files.Kind(outputPath, &looked)) {
    case PathKind::Missing: break;
    case PathKind::Other:
      result.outcome = Outcome::CannotWrite;
      result.cause = looked;
      return result;
    case PathKind::File: {
      if (!request.replaceOutput) {
        result.outcome = Outcome::OutputExists;
        return result;
      }
      // Another job's input, or a file held by it, is not replaced.
      Hold existing = files.HoldExisting(outputPath);
      if (!existing.hold) {
        result.outcome = Outcome::CannotWrite;
        result.cause = existing.error;
        if (existing.error == FileError::Own(OwnError::HeldElsewhere, FileOp::Hold)) {
          RefusedInUse(files, outputPath, &result);
        }
        return result;
      }
      name.hold = std::move(existing.hold);
      name.replaced = existing.seen;
      // Yes was said to one file: another that took its name since is not it.
      if (request.replaceOnly && !SameContent(*request.replaceOnly, name.replaced)) {
        result.outcome = Outcome::OutputChanged;
        return result;
      }
      break;
    }
  }
  PauseForTest(JobStep::Open);
  FirstCause cause;
  {
    JobFiles jobFiles(files, request.inputPath, *input.file, outputPath, name, cause);
    result.outcome = operation(jobFiles, outputPath, Watched(control));
  }
  result.displaced = name.displaced;
  if (result.outcome != Outcome::Success || !result.displaced.name.empty()) result.cause = cause.Get();
  // A NotDurable output may not survive a power cut: the input stays.
  if (result.outcome != Outcome::Success || request.keepInput) return result;
  RemoveInput(files, std::move(input.file), request.inputPath, input.seen, outputPath, name, &result);
  return result;
}

}  // namespace

FileJobResult RunFileJob(FileSystem& files, const FileJobRequest& request, const JobControl& control,
                         const FileOperation& operation) {
  try {
    return RunTaken(files, request, control, operation);
  } catch (...) {
    return {};
  }
}

std::wstring ReplaceQuestion(const std::wstring& outputPath) {
  return texts::kReplaceQuestionStart + NameOf(outputPath) + texts::kReplaceQuestionEnd;
}

std::wstring KeptReasonText(KeptReason reason) {
  switch (reason) {
    case KeptReason::Changed: return texts::kKeptChanged;
    case KeptReason::OtherNames: return texts::kKeptOtherNames;
    case KeptReason::NotRemoved: return texts::kKeptNotRemoved;
    case KeptReason::OutputGone: return texts::kKeptOutputGone;
    case KeptReason::Moved: return texts::kKeptMoved;
    case KeptReason::OpenElsewhere: return texts::kKeptOpenElsewhere;
    case KeptReason::None: break;
  }
  return {};
}

std::wstring OutcomeText(const FileJobResult& result, JobKind kind, std::wstring_view keptSeparator) {
  const OutcomeRow& row = RowOf(result.outcome);
  std::wstring text = kind == JobKind::Encrypt ? row.encryptText : row.decryptText;
  if (result.outcome == Outcome::InUse && !result.holders.empty()) text += HoldersText(result.holders);
  if (row.keepsInput || result.kept != KeptReason::None) text.append(keptSeparator).append(texts::kOriginalKept);
  if (result.removalNotDurable) text.append(keptSeparator).append(texts::kRemovalNotDurable);
  return text;
}

std::wstring HoldersText(const std::vector<std::wstring>& holders) {
  std::wstring text = L" (";
  for (std::size_t i = 0; i < holders.size(); ++i) text += (i ? L", " : L"") + holders[i];
  // A program names itself: no control character of its name reaches a line.
  for (wchar_t& c : text) {
    if (c < L' ' || c == 0x7F) c = L' ';
  }
  return text + L")";
}

std::wstring DisplacedText(const Displaced& displaced) {
  if (displaced.name.empty()) return {};
  return (displaced.hidden ? texts::kHiddenAs : texts::kDisplacedAs) + displaced.name;
}

std::wstring CauseText(const FileJobResult& result, const SystemText& system) {
  const FileError& cause = result.cause;
  // In use says it all; who holds it goes after the outcome's own words.
  if (cause.ok() || result.outcome == Outcome::InUse) return {};
  if (cause.domain != ErrorDomain::Ferrune) return system(cause);
  switch (static_cast<OwnError>(cause.code)) {
    case OwnError::Shrank: return texts::kCauseShrank;
    case OwnError::HeldElsewhere:
      return texts::kCauseHeldElsewhere + (result.holders.empty() ? std::wstring() : HoldersText(result.holders));
    case OwnError::ReadOnly: return texts::kCauseReadOnly;
    case OwnError::Link: return texts::kCauseLink;
    case OwnError::NoKeptName: return texts::kCauseNoKeptName;
    case OwnError::Abandoned: return texts::kCauseAbandoned;
    case OwnError::NotAFile: return texts::kCauseNotAFile;
  }
  return {};
}

std::wstring OutcomeLine(const FileJobResult& result, JobKind kind, const SystemText& system) {
  const OutcomeRow& row = RowOf(result.outcome);
  const std::wstring cause = CauseText(result, system);
  const bool causeFirst = CauseComesFirst(result);
  std::wstring line = kind == JobKind::Encrypt ? row.encryptText : row.decryptText;
  if (result.outcome == Outcome::InUse && !result.holders.empty()) line += HoldersText(result.holders);
  if (causeFirst && !cause.empty()) line += L": " + cause;
  const std::wstring why = KeptReasonText(result.kept);
  if (row.keepsInput || result.kept != KeptReason::None) line += std::wstring(L". ") + texts::kOriginalKept;
  if (!why.empty()) line += L": " + why;
  if (const std::wstring displaced = DisplacedText(result.displaced); !displaced.empty()) {
    line += (why.empty() ? L": " : L"; ") + displaced;
  }
  if (result.removalNotDurable) line += std::wstring(L". ") + texts::kRemovalNotDurable;
  if (!causeFirst && !cause.empty()) line += L": " + cause;
  return line;
}

int ExitCodeOf(const FileJobResult& result) {
  if (result.displaced.hidden) return RowOf(Outcome::CannotWrite).exitCode;
  // The output that this job wrote is not there: no success to report.
  if (result.kept == KeptReason::OutputGone) return RowOf(Outcome::OutputChanged).exitCode;
  return RowOf(result.outcome).exitCode;
}

}  // namespace ferrune
