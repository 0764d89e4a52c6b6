// The two workers: each repaints the window, runs its file operation on the
// run's file and deletes the input when the operation succeeded.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>

#include "app/toolkit/thread.h"
#include "core/file_job.h"
#include "core/outcome.h"
#include "core/secret_bytes.h"

namespace ferrune {

// What both workers are handed at the click and leave for their completion.
struct FileJob {
  SecretBytes password;  // wiped when the worker is destroyed
  const std::atomic<bool>* cancel = nullptr;
  HWND progressWindow = nullptr;  // receives WM_APP_PROGRESS for large files
  // All the job told: its outcome, why a success left the input there, what
  // the system said, a file set aside elsewhere, who holds a file in use.
  FileJobResult result;
  // The password's bytes come from the standard conversion: its exact ones were refused.
  bool standardBytes = false;
  // The file under the output name that the user agreed to replace, as it
  // was when asked; no other file is replaced.
  std::optional<FileIdentity> replaceOnly;
};

// A file (not a folder) under the output name of the run's file.
struct StandingOutput {
  bool stands = false;
  std::optional<FileIdentity> identity;  // empty when it cannot be looked at
  FileError error;                       // why not, then
};

// What stands under the output name now, told as a job's start would tell
// it; the job's hold is let go at once, so that no program is refused while
// the user thinks about it.
StandingOutput OutputStanding(JobKind kind);

// The job both workers carry; each overrides only the work step.
class TFileThread : public TThread {
 public:
  explicit TFileThread(FileJob job) : job_(std::move(job)) {}
  const FileJob& Job() const { return job_; }

 protected:
  FileJob job_;
};

class TEncryptThread : public TFileThread {
 public:
  using TFileThread::TFileThread;

 protected:
  void Execute() override;
};

class TDecryptThread : public TFileThread {
 public:
  using TFileThread::TFileThread;

 protected:
  void Execute() override;
};

}  // namespace ferrune
