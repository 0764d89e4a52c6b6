#include "workers.h"

#include "file_job.h"
#include "main_form.h"
#include "progress_throttle.h"
#include "win32_file_system.h"
#include "worker_messages.h"

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

using FileOperation = bool (TMainForm::*)(const std::wstring&, const SecretBytes&, const JobControl&, Outcome&);

// Both workers: the repaint first, then the file job: the operation and the
// delete of the input.
void RunWorker(TThread& thread, FileJob& job, FileOperation operation) {
  thread.Synchronize([] { MainForm->Repaint(); });
  Win32FileSystem files;
  const FileJobResult result = RunFileJob(files, TargetFile, false, [&] {
    (MainForm->*operation)(TargetFile, job.password, MakeControl(job), job.outcome);
    return job.outcome;
  });
  job.password.Wipe();
  job.outcome = result.outcome;
  job.inputKept = result.inputKept;
}

}  // namespace

void TEncryptThread::Execute() { RunWorker(*this, job_, &TMainForm::EncryptFile); }

void TDecryptThread::Execute() { RunWorker(*this, job_, &TMainForm::DecryptFile); }

}  // namespace ferrune
