// When progress is worth showing: only for large files, and at most ten
// times a second, but always at the end.
#pragma once

#include <chrono>
#include <cstdint>

namespace ferrune {

class ProgressThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::uint64_t kFromSize = std::uint64_t{8} << 20;
  static constexpr Clock::duration kInterval = std::chrono::milliseconds(100);

  bool Due(std::uint64_t done, std::uint64_t total, Clock::time_point now = Clock::now()) {
    if (total < kFromSize) return false;
    if (started_ && now - last_ < kInterval && done < total) return false;
    started_ = true;
    last_ = now;
    return true;
  }

 private:
  bool started_ = false;
  Clock::time_point last_{};
};

}  // namespace ferrune
