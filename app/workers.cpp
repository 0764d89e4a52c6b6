#include "workers.h"

#include "file_crypt.h"
#include "main_form.h"
#include "worker_messages.h"

namespace ferrune {
namespace {

constexpr std::uint64_t kProgressFromSize = 8ull << 20;
constexpr DWORD kProgressIntervalMs = 100;

// Posts progress at most ten times a second, and only for large files.
JobControl MakeControl(const FileJob& job) {
  JobControl control;
  control.cancel = job.cancel;
  HWND target = job.progressWindow;
  control.progress = [target, last = DWORD(0), started = false](std::uint64_t done, std::uint64_t total) mutable {
    if (!target || total < kProgressFromSize) return;
    const DWORD now = GetTickCount();
    if (started && now - last < kProgressIntervalMs && done < total) return;
    started = true;
    last = now;
    PostMessageW(target, WM_APP_PROGRESS, WPARAM(done * 1000 / total), 0);
  };
  return control;
}

using FileOperation = bool (TMainForm::*)(const std::wstring&, const SecretBytes&, const JobControl&, Outcome&);

// Both workers: the repaint first, then the operation, then the plain delete
// (the bytes are not overwritten and go to no recycle bin).
void RunFileJob(TThread& thread, FileJob& job, FileOperation operation) {
  thread.Synchronize([] { MainForm->Repaint(); });
  (MainForm->*operation)(TargetFile, job.password, MakeControl(job), job.outcome);
  job.password.Wipe();
  if (job.outcome == Outcome::Success) job.inputKept = !DeleteFileW(TargetFile.c_str());
}

}  // namespace

void TEncryptThread::Execute() { RunFileJob(*this, job_, &TMainForm::EncryptFile); }

void TDecryptThread::Execute() { RunFileJob(*this, job_, &TMainForm::DecryptFile); }

}  // namespace ferrune
