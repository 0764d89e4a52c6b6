#include "core/file_job.h"

#include "core/job_pause.h"
#include "core/path_rules.h"
#include "core/temp_name.h"
#include "core/texts.h"

namespace ferrune {

namespace {

// The job's input, lent to the operation that reads it.
class BorrowedInput final : public InputFile {
 public:
  explicit BorrowedInput(InputFile& inner) : inner_(inner) {}
  std::uint64_t Size() const override { return inner_.Size(); }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return inner_.ReadAt(offset, buffer, length);
  }
  bool ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return inner_.ReadPastCache(offset, buffer, length);
  }
  FileMetadata Metadata() const override { return inner_.Metadata(); }

 private:
  InputFile& inner_;
};

// The output's name: the file that a job may replace there, taken when the
// job starts and replaced at the commit only if it is still that file,
// unchanged; and the output that the commit put there.
struct OutputName {
  std::unique_ptr<FileHold> hold;
  FileIdentity replaced;
  std::optional<FileIdentity> committed;
};

// The job's output, committed only as the job allows.
class JobTempFile final : public TempFile {
 public:
  JobTempFile(std::unique_ptr<TempFile> inner, OutputName* name) : inner_(std::move(inner)), name_(name) {}
  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    return inner_->WriteAt(offset, data, length);
  }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return inner_->ReadAt(offset, buffer, length);
  }
  bool Flush() override { return inner_->Flush(); }
  bool ReadsPastCache() const override { return inner_->ReadsPastCache(); }
  std::optional<FileIdentity> Identity() override { return inner_->Identity(); }
  bool Stamp(const FileMetadata& from) override { return inner_->Stamp(from); }
  // Whatever the stream allows, the job's own rule holds. The hold stays
  // until the replaced file is gone: the commit sets it aside through it.
  Outcome Commit(const std::wstring& finalPath, const Replacing&) override {
    PauseForTest(JobStep::Commit);
    name_->committed = inner_->Identity();
    if (!name_->hold) return inner_->Commit(finalPath, Replacing::Nothing());
    const Outcome committed = inner_->Commit(finalPath, Replacing::Only(name_->replaced, name_->hold.get()));
    name_->hold.reset();
    return committed;
  }

 private:
  std::unique_ptr<TempFile> inner_;
  OutputName* name_;
};

// The files as the operation sees them during a job: its input is the one
// already taken, and its output is committed only as the job allows.
class JobFiles final : public StreamFiles {
 public:
  JobFiles(FileSystem& inner, const std::wstring& inputPath, InputFile& input, const std::wstring& outputPath,
           OutputName& name)
      : inner_(inner), inputPath_(inputPath), input_(input), outputPath_(outputPath), name_(name) {}

  std::unique_ptr<InputFile> OpenRead(const std::wstring& path) override {
    if (path == inputPath_) return std::make_unique<BorrowedInput>(input_);
    return inner_.OpenRead(path);
  }
  std::unique_ptr<TempFile> CreateTemp(const std::wstring& finalPath) override {
    std::unique_ptr<TempFile> file = inner_.CreateTemp(finalPath);
    if (!file || finalPath != outputPath_) return file;
    return std::make_unique<JobTempFile>(std::move(file), &name_);
  }

 private:
  FileSystem& inner_;
  const std::wstring& inputPath_;
  InputFile& input_;
  const std::wstring& outputPath_;
  OutputName& name_;
};

// Why the input under its name now may not go; none when it may. Nothing
// under the name is left to the delete, which tells a file moved away from
// one that another program removed.
std::optional<KeptReason> MustStay(const FileIdentity& seen, const FileIdentity& now) {
  if (now.links == 0) return std::nullopt;
  // Deleting through a link, or one name of several, would leave the data
  // readable elsewhere; a changed file holds data the output lacks.
  if (now.symbolicLink) return KeptReason::OtherNames;
  if (!SameContent(seen, now)) return KeptReason::Changed;
  if (seen.links != 1 || now.links != 1) return KeptReason::OtherNames;
  return std::nullopt;
}

// The output the commit put in place still stands there, unchanged: the
// input may go only while its content is there.
bool OutputStands(FileSystem& files, const std::wstring& outputPath, const std::optional<FileIdentity>& committed) {
  FileIdentity now;
  return committed && files.Identify(outputPath, &now) && !now.symbolicLink && now.volume == committed->volume &&
         now.index == committed->index && now.size == committed->size && now.writeTime == committed->writeTime;
}

void RemoveInput(FileSystem& files, std::unique_ptr<HeldFile> input, const std::wstring& path, const FileIdentity& seen,
                 const std::wstring& outputPath, const std::optional<FileIdentity>& committed, FileJobResult* result) {
  if (seen.symbolicLink) {
    result->kept = KeptReason::OtherNames;
    return;
  }
  std::unique_ptr<DeletableFile> file = input->ForDelete(path);
  input.reset();
  const std::optional<FileIdentity> now = file ? file->Identity() : std::nullopt;
  if (!now) {
    result->kept = KeptReason::NotRemoved;
    return;
  }
  if (const std::optional<KeptReason> stays = MustStay(seen, *now)) {
    result->kept = *stays;
    return;
  }
  PauseForTest(JobStep::Delete);
  // A plain delete: the bytes are not overwritten and go to no recycle bin.
  switch (file->Delete(seen, [&] { return OutputStands(files, outputPath, committed); })) {
    case DeletableFile::Removal::Deleted:
    case DeletableFile::Removal::Gone: break;
    case DeletableFile::Removal::DeletedNotDurable: result->removalNotDurable = true; break;
    case DeletableFile::Removal::Changed: result->kept = KeptReason::Changed; break;
    case DeletableFile::Removal::OtherNames: result->kept = KeptReason::OtherNames; break;
    case DeletableFile::Removal::OutputGone: result->kept = KeptReason::OutputGone; break;
    case DeletableFile::Removal::Failed: result->kept = KeptReason::NotRemoved; break;
    case DeletableFile::Removal::Moved: result->kept = KeptReason::Moved; break;
  }
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
  FileIdentity seen;
  result.outcome = Outcome::CannotRead;
  std::unique_ptr<HeldFile> input = files.OpenHeld(request.inputPath, &seen, &result.outcome);
  if (!input) return result;

  OutputName name;
  switch (files.Kind(outputPath)) {
    case PathKind::Missing: break;
    case PathKind::Other: result.outcome = Outcome::CannotWrite; return result;
    case PathKind::File:
      if (!request.replaceOutput) {
        result.outcome = Outcome::OutputExists;
        return result;
      }
      // Another job's input, or a file held by it, is not replaced.
      name.hold = files.HoldExisting(outputPath, &name.replaced);
      if (!name.hold) {
        result.outcome = Outcome::CannotWrite;
        return result;
      }
      // Yes was said to one file: another that took its name since is not it.
      if (request.replaceOnly && !SameContent(*request.replaceOnly, name.replaced)) {
        result.outcome = Outcome::OutputChanged;
        return result;
      }
      break;
  }
  PauseForTest(JobStep::Open);
  files.RemoveLeftovers(outputPath);
  {
    JobFiles jobFiles(files, request.inputPath, *input, outputPath, name);
    result.outcome = operation(jobFiles, outputPath, Watched(control));
  }
  // A NotDurable output may not survive a power cut: the input stays.
  if (result.outcome != Outcome::Success || request.keepInput) return result;
  RemoveInput(files, std::move(input), request.inputPath, seen, outputPath, name.committed, &result);
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
    case KeptReason::None: break;
  }
  return {};
}

std::wstring OutcomeText(const FileJobResult& result, JobKind kind, std::wstring_view keptSeparator) {
  const OutcomeRow& row = RowOf(result.outcome);
  std::wstring text = kind == JobKind::Encrypt ? row.encryptText : row.decryptText;
  if (row.keepsInput || result.kept != KeptReason::None) text.append(keptSeparator).append(texts::kOriginalKept);
  if (result.removalNotDurable) text.append(keptSeparator).append(texts::kRemovalNotDurable);
  return text;
}

}  // namespace ferrune
