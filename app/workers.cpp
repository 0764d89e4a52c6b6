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

void DeleteInputAfterSuccess(FileJob& job) {
  // A plain delete: the bytes are not overwritten and go to no recycle bin.
  if (job.outcome == Outcome::Success) job.inputKept = !DeleteFileW(TargetFile.c_str());
}

}  // namespace

void TEncryptThread::Execute() {
  Synchronize([] { MainForm->Repaint(); });
  MainForm->EncryptFile(TargetFile, job_.password, MakeControl(job_), job_.outcome);
  job_.password.Wipe();
  DeleteInputAfterSuccess(job_);
}

void TDecryptThread::Execute() {
  Synchronize([] { MainForm->Repaint(); });
  MainForm->DecryptFile(TargetFile, job_.password, MakeControl(job_), job_.outcome);
  job_.password.Wipe();
  DeleteInputAfterSuccess(job_);
}

}  // namespace ferrune
