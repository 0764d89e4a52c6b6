// How the caller follows and stops a file operation.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace ferrune {

struct JobControl {
  // Checked between chunks; once the output is in place a cancel no longer applies.
  const std::atomic<bool>* cancel = nullptr;
  // Called on the working thread with bytes done and bytes in all.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;

  bool Cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
  void Report(std::uint64_t done, std::uint64_t total) const {
    if (progress) progress(done, total);
  }
};

}  // namespace ferrune
