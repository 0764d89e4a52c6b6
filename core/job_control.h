// How the caller follows and stops a file operation.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace ferrune {

struct JobControl {
  // Checked between chunks and while waiting; once the output is in place a
  // cancel no longer applies.
  const std::atomic<bool>* cancel = nullptr;
  // Called on the working thread with bytes done and bytes in all.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
  // Run first on every thread the operation starts, so that a platform can
  // give them its caller's priority.
  std::function<void()> threadStart = {};

  bool Cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
  void Report(std::uint64_t done, std::uint64_t total) const {
    if (progress) progress(done, total);
  }
  void StartThread() const {
    if (threadStart) threadStart();
  }
  // For helpers that neither report nor stop on the cancel: only the thread start.
  JobControl ThreadsOnly() const {
    JobControl helpers;
    helpers.threadStart = threadStart;
    return helpers;
  }
};

}  // namespace ferrune
