#include "core/job_pause.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

namespace ferrune {
namespace {

struct Pause {
  std::filesystem::path gate;
  JobStep step = JobStep::Open;
};

std::optional<JobStep> StepNamed(const char* name) {
  const std::string text = name ? name : "open";
  if (text == "open") return JobStep::Open;
  if (text == "middle") return JobStep::Middle;
  if (text == "written") return JobStep::Written;
  if (text == "commit") return JobStep::Commit;
  if (text == "delete") return JobStep::Delete;
  return std::nullopt;
}

std::optional<Pause> Configured() {
  const char* gate = std::getenv("FERRUNE_TEST_PAUSE");
  if (!gate || !*gate) return std::nullopt;
  const std::optional<JobStep> step = StepNamed(std::getenv("FERRUNE_TEST_PAUSE_AT"));
  if (!step) return std::nullopt;
  return Pause{gate, *step};
}

}  // namespace

void PauseForTest(JobStep step) {
  static const std::optional<Pause> pause = Configured();
  static std::atomic<bool> used{false};
  if (!pause || pause->step != step || used.exchange(true)) return;
  std::ofstream(pause->gate).put('\n');
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  std::error_code error;
  while (std::filesystem::exists(pause->gate, error) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace ferrune
