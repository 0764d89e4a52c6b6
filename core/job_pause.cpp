#include "core/job_pause.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

namespace ferrune {
namespace {

constexpr const char* kStepNames[] = {"open", "middle", "written", "commit", "replacing", "delete", "removing"};
constexpr std::size_t kSteps = std::size(kStepNames);

struct Pause {
  std::filesystem::path gate;
  std::array<bool, kSteps> at{};
};

std::optional<Pause> Configured() {
  const char* gate = std::getenv("FERRUNE_TEST_PAUSE");
  if (!gate || !*gate) return std::nullopt;
  const char* steps = std::getenv("FERRUNE_TEST_PAUSE_AT");
  Pause pause{gate, {}};
  std::istringstream names(steps ? steps : "open");
  for (std::string name; std::getline(names, name, ',');) {
    std::size_t i = 0;
    while (i < kSteps && name != kStepNames[i]) ++i;
    if (i == kSteps) return std::nullopt;
    pause.at[i] = true;
  }
  return pause;
}

}  // namespace

void PauseForTest(JobStep step) {
  static const std::optional<Pause> pause = Configured();
  static std::array<std::atomic<bool>, kSteps> used{};
  const auto index = static_cast<std::size_t>(step);
  if (!pause || !pause->at[index] || used[index].exchange(true)) return;
  std::ofstream(pause->gate).put('\n');
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  std::error_code error;
  while (std::filesystem::exists(pause->gate, error) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace ferrune
