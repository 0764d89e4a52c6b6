#include "app/workers.h"

#include "app/fault_injection.h"
#include "app/main_form.h"
#include "app/worker_messages.h"
#include "core/file_job.h"
#include "core/progress_throttle.h"
#include "platform/win32/win32_file_system.h"

namespace ferrune {

namespace {

JobControl MakeControl(const FileJob& job) {
  JobControl control;
  control.cancel = job.cancel;
  HWND target = job.progressWindow;
  control.progress = [target, throttle = ProgressThrottle()](std::uint64_t done, std::uint64_t total) mutable {
    if (target && throttle.Due(done, total)) PostMessageW(target, WM_APP_PROGRESS, WPARAM(done * 1000 / total), 0);
  };
  return control;
}

using FormOperation = bool (TMainForm::*)(const std::wstring&, StreamFiles&, const SecretBytes&, const JobControl&,
                                          Outcome&);

// Both workers: the repaint first, then the file job: the input taken, the
// operation on the job's view of the files, and the delete of the input.
void RunWorker(TThread& thread, FileJob& job, JobKind kind, FormOperation operation) {
  thread.Synchronize([] { MainForm->Repaint(); });
  const std::unique_ptr<FileSystem> files = JobFileSystem();
  FileJobRequest request;
  request.kind = kind;
  request.inputPath = TargetFile;
  request.replaceOutput = job.replaceOnly.has_value();
  request.replaceOnly = job.replaceOnly;
  job.result = RunFileJob(*files, request, MakeControl(job),
                          [&](StreamFiles& jobFiles, const std::wstring&, const JobControl& control) {
                            Outcome outcome = Outcome::Failed;
                            (MainForm->*operation)(TargetFile, jobFiles, job.password, control, outcome);
                            return outcome;
                          });
  job.password.Wipe();
}

}  // namespace

StandingOutput OutputStanding(JobKind kind) {
  const std::wstring output = OutputFileName(kind, TargetFile);
  Win32FileSystem files;
  FileError looked;
  if (output.empty() || files.Kind(output, &looked) != PathKind::File) return {};
  // Held by another job or written by a program: the job will refuse it,
  // but the question is still about this file.
  if (const Hold held = files.HoldExisting(output); held.hold) return {true, held.seen, {}};
  FileIdentity identity;
  const FileError identified = files.Identify(output, &identity);
  if (identified.ok()) return {true, identity, {}};
  return {files.Kind(output, &looked) == PathKind::File, std::nullopt, identified};
}

void TEncryptThread::Execute() { RunWorker(*this, job_, JobKind::Encrypt, &TMainForm::EncryptFile); }

void TDecryptThread::Execute() { RunWorker(*this, job_, JobKind::Decrypt, &TMainForm::DecryptFile); }

}  // namespace ferrune
