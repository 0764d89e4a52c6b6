#include "core/file_job.h"

#include "core/job_pause.h"
#include "core/path_rules.h"
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

 private:
  InputFile& inner_;
};

// The files as the operation sees them during a job: its input is the one
// already taken, and its output is committed only as the job allows.
class JobFiles final : public StreamFiles {
 public:
  JobFiles(FileSystem& inner, const std::wstring& inputPath, InputFile& input, const std::wstring& outputPath,
           std::unique_ptr<FileHold> replaced)
      : inner_(inner), inputPath_(inputPath), input_(input), outputPath_(outputPath), replaced_(std::move(replaced)) {}

  std::unique_ptr<InputFile> OpenRead(const std::wstring& path) override {
    if (path == inputPath_) return std::make_unique<BorrowedInput>(input_);
    return inner_.OpenRead(path);
  }
  std::unique_ptr<TempFile> CreateTemp(const std::wstring& finalPath) override { return inner_.CreateTemp(finalPath); }
  bool Commit(std::unique_ptr<TempFile> file, const std::wstring& finalPath) override {
    if (finalPath != outputPath_) return inner_.Commit(std::move(file), finalPath);
    PauseForTest(JobStep::Commit);
    if (!replaced_) return inner_.CommitNew(std::move(file), finalPath);
    // Windows cannot rename over a file that is still open here: the hold
    // goes just before, and the short gap is accepted.
    replaced_.reset();
    return inner_.Commit(std::move(file), finalPath);
  }
  void Discard(std::unique_ptr<TempFile> file) override { inner_.Discard(std::move(file)); }

 private:
  FileSystem& inner_;
  const std::wstring& inputPath_;
  InputFile& input_;
  const std::wstring& outputPath_;
  std::unique_ptr<FileHold> replaced_;
};

bool SameContent(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index && a.size == b.size && a.writeTime == b.writeTime &&
         a.changeTime == b.changeTime;
}

// Deleting through a link, or one name of several, would leave the data
// readable elsewhere; a changed file holds data the output lacks.
KeptReason RemoveInput(FileSystem& files, std::unique_ptr<InputFile> input, const std::wstring& path,
                       const FileIdentity& seen) {
  if (seen.symbolicLink) return KeptReason::OtherNames;
  std::unique_ptr<DeletableFile> file = files.ForDelete(std::move(input), path);
  if (!file) return KeptReason::NotRemoved;
  const FileIdentity now = file->Identity();
  if (now.symbolicLink) return KeptReason::OtherNames;
  if (!SameContent(seen, now)) return KeptReason::Changed;
  if (seen.links != 1 || now.links != 1) return KeptReason::OtherNames;
  // A plain delete: the bytes are not overwritten and go to no recycle bin.
  return file->Delete() ? KeptReason::None : KeptReason::NotRemoved;
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
  FileIdentity seen;
  result.outcome = Outcome::CannotRead;
  std::unique_ptr<InputFile> input = files.OpenHeld(request.inputPath, &seen, &result.outcome);
  if (!input) return result;

  std::unique_ptr<FileHold> replaced;
  switch (files.Kind(outputPath)) {
    case PathKind::Missing: break;
    case PathKind::Other: result.outcome = Outcome::CannotWrite; return result;
    case PathKind::File:
      if (!request.replaceOutput) {
        result.outcome = Outcome::OutputExists;
        return result;
      }
      // Another job's input, or a file held by it, is not replaced.
      replaced = files.HoldExisting(outputPath);
      if (!replaced) {
        result.outcome = Outcome::CannotWrite;
        return result;
      }
      break;
  }
  PauseForTest(JobStep::Open);
  files.RemoveLeftovers(outputPath);
  {
    JobFiles jobFiles(files, request.inputPath, *input, outputPath, std::move(replaced));
    result.outcome = operation(jobFiles, outputPath, Watched(control));
  }
  if (result.outcome != Outcome::Success || request.keepInput) return result;
  result.kept = RemoveInput(files, std::move(input), request.inputPath, seen);
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
    case KeptReason::None:
    case KeptReason::NotRemoved: break;
  }
  return {};
}

std::wstring OutcomeText(const FileJobResult& result, JobKind kind, std::wstring_view keptSeparator) {
  const OutcomeRow& row = RowOf(result.outcome);
  std::wstring text = kind == JobKind::Encrypt ? row.encryptText : row.decryptText;
  if (result.kept != KeptReason::None) text.append(keptSeparator).append(texts::kOriginalKept);
  return text;
}

}  // namespace ferrune
