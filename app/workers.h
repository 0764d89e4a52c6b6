// The two workers: each repaints the window, runs its file operation on the
// run's file and deletes the input when the operation succeeded.
#pragma once

#include <windows.h>

#include <atomic>

#include "file_job.h"
#include "outcome.h"
#include "secret_bytes.h"
#include "thread.h"

namespace ferrune {

// What both workers are handed at the click and leave for their completion.
struct FileJob {
  SecretBytes password;  // wiped when the worker is destroyed
  const std::atomic<bool>* cancel = nullptr;
  HWND progressWindow = nullptr;  // receives WM_APP_PROGRESS for large files
  Outcome outcome = Outcome::Failed;
  bool inputKept = false;  // success, but the input could not be deleted
};

// Set by the click that starts the job when the user agreed to replace the
// file standing under the output name; read by the worker it starts.
extern bool OutputReplaceConfirmed;

// True when a file (not a folder) stands under the output name of the run's file.
bool OutputFileStands(JobKind kind);

class TEncryptThread : public TThread {
 public:
  explicit TEncryptThread(FileJob job) : job_(std::move(job)) {}
  const FileJob& Job() const { return job_; }

 protected:
  void Execute() override;

 private:
  FileJob job_;
};

class TDecryptThread : public TThread {
 public:
  explicit TDecryptThread(FileJob job) : job_(std::move(job)) {}
  const FileJob& Job() const { return job_; }

 protected:
  void Execute() override;

 private:
  FileJob job_;
};

}  // namespace ferrune
