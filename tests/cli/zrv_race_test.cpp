// Every moment of a job against every event, natively: the job held at each
// of its steps (the test pause) while it is killed, interrupted twice, an
// editor saves over its input or its output, another program replaces its
// output and the job is killed, or the disk gives one wrong byte. Every row
// reaches its pause. One invariant for all rows: after the job and the next
// job's sweep in that folder, every content the folder held at any moment
// (the input, each save) is still under a visible name, or is what the
// committed output decrypts to; and nothing of ours is left.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "tests/cli/zrv_jobs.h"
#include "tests/cli/zrv_process.h"
#include "tests/platform/posix/posix_support.h"

namespace ferrune::testing {
namespace {

using namespace std::chrono_literals;

enum class Event { Kill, TwoInterrupts, SaveOverInput, SaveOverOutput, OutputReplacedThenKill, WrongRead };

const char* EventName(Event event) {
  switch (event) {
    case Event::Kill: return "kill";
    case Event::TwoInterrupts: return "two interrupts";
    case Event::SaveOverInput: return "a save over the input";
    case Event::SaveOverOutput: return "a save over the output";
    case Event::OutputReplacedThenKill: return "the output replaced, then a kill";
    case Event::WrongRead: return "one wrong read";
  }
  return "";
}

// An editor's save: a new file renamed over the name.
void SaveOver(const std::string& path, const Bytes& bytes) {
  WriteFile(path + ".new~", bytes);
  ASSERT_EQ(::rename((path + ".new~").c_str(), path.c_str()), 0);
}

// True once the job waits at its pause; false once it has ended without.
bool Paused(const Gate& gate, pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Exists(gate.path())) return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t state = line.rfind(')') + 2;
    if (state >= line.size() || line[state] == 'Z') return false;
    std::this_thread::sleep_for(2ms);
  }
  return false;
}

// What an encrypted file decrypts to, by a zrv apart from the folder.
Bytes DecryptedBytes(const Bytes& encrypted) {
  TempFolder aside;
  WriteFile(aside / "x.zrv", encrypted);
  RunZrv({"decrypt", aside / "x.zrv"});
  return ReadFile(aside / "x");
}

// A content still there: under a visible name, as it is or as the plain
// bytes it stands for, or inside a visible encrypted file.
bool StillThere(const TempFolder& dir, const Bytes& content, const Bytes& plain) {
  for (const std::string& name : dir.Names()) {
    if (name[0] == '.') continue;
    const Bytes bytes = ReadFile(dir / name);
    if (bytes == content || bytes == plain) return true;
    if (name.size() > 4 && name.substr(name.size() - 4) == ".zrv" && DecryptedBytes(bytes) == content) return true;
  }
  return false;
}

TEST(ZrvRace, AtEveryStepEveryEventLeavesEveryContentVisible) {
  const Bytes plain = RandomBytes((1u << 20) + 4321, 11);
  Bytes encrypted;
  {
    TempFolder dir;
    WriteFile(dir / "p", plain);
    ASSERT_EQ(RunZrv({"encrypt", dir / "p"}).exitCode, 0);
    encrypted = ReadFile(dir / "p.zrv");
  }
  const std::vector<std::string> steps = {"open",      "middle", "written",  "commit",
                                          "replacing", "delete", "removing", "delete,removing"};
  const Event events[] = {Event::Kill,           Event::TwoInterrupts,          Event::SaveOverInput,
                          Event::SaveOverOutput, Event::OutputReplacedThenKill, Event::WrongRead};
  for (const bool encrypting : {true, false}) {
    for (const std::string& step : steps) {
      for (const Event event : events) {
        // A wrong read fails the proof, which no later step outlives.
        if (event == Event::WrongRead && step != "open" && step != "middle") continue;
        SCOPED_TRACE(std::string(encrypting ? "encrypt" : "decrypt") + " at " + step + ": " + EventName(event));
        TempFolder dir;
        const std::string input = dir / (encrypting ? "p" : "p.zrv");
        const std::string output = dir / (encrypting ? "p.zrv" : "p");
        // What the folder holds, with the plain bytes each stands for.
        std::vector<std::pair<Bytes, Bytes>> held = {{encrypting ? plain : encrypted, plain}};
        WriteFile(input, held[0].first);
        WriteFile(output, TextBytes("the output the user agreed to replace"));
        Gate gate;
        std::vector<std::string> env = gate.Env(step);
        if (event == Event::WrongRead) {
          env.insert(env.end(), {"LD_PRELOAD=" FLAKY_READ_PATH, "ASAN_OPTIONS=verify_asan_link_order=0",
                                 "FERRUNE_FLAKY_FILE=" + input, "FERRUNE_FLAKY_AT=600000"});
        }
        Process job({encrypting ? "encrypt" : "decrypt", "--force", input}, kPassword, env);
        int saves = 0;
        // A job ended at its first pause reaches no second; a save over the
        // input at its delete is seen before the input is set aside.
        const bool ends =
            event == Event::Kill || event == Event::TwoInterrupts || event == Event::OutputReplacedThenKill;
        const auto pauses = ends || event == Event::SaveOverInput ? 1 : 1 + std::count(step.begin(), step.end(), ',');
        for (auto pause = 0; pause < pauses; ++pause) {
          ASSERT_TRUE(Paused(gate, job.pid())) << "pause " << pause + 1 << " not reached";
          if (event == Event::Kill || event == Event::OutputReplacedThenKill) {
            if (event == Event::OutputReplacedThenKill) {
              held.emplace_back(TextBytes("another program's"), TextBytes("another program's"));
              SaveOver(output, held.back().first);
            }
            ::kill(job.pid(), SIGKILL);
            break;
          }
          if (event == Event::TwoInterrupts) {
            ::kill(job.pid(), SIGINT);
            ASSERT_TRUE(SignalTaken(job.pid(), SIGINT));
            ::kill(job.pid(), SIGINT);
            break;
          }
          if (event == Event::SaveOverInput || event == Event::SaveOverOutput) {
            const Bytes save = TextBytes("save " + std::to_string(++saves));
            // A second save over the output is the user's own overwrite of the first.
            if (event == Event::SaveOverOutput && saves > 1) held.pop_back();
            held.emplace_back(save, save);
            SaveOver(event == Event::SaveOverInput ? input : output, save);
          }
          gate.Open();
        }
        job.Wait();
        // The next job in the folder sweeps what this one left.
        WriteFile(dir / "next", TextBytes("next"));
        ASSERT_EQ(RunZrv({"--keep", "encrypt", dir / "next"}).exitCode, 0);
        for (const auto& [content, plainOfIt] : held) EXPECT_TRUE(StillThere(dir, content, plainOfIt));
        for (const std::string& name : dir.Names()) EXPECT_NE(name.rfind(".ferrune-", 0), 0u) << name;
      }
    }
  }
}

// Beside the table: one wrong byte, kept by the cache, fails the job in both
// directions, and nothing but the input is left; also where the file system
// refuses the direct read and the cache drops only whole pages, with the
// byte on the page across the first chunk boundary of the ciphertext.
TEST(ZrvRace, AReadThatWentWrongOnceFailsTheJobAndKeepsTheInput) {
  const Bytes plain = RandomBytes((1u << 20) + 99, 12);
  Bytes encrypted;
  {
    TempFolder dir;
    WriteFile(dir / "p", plain);
    ASSERT_EQ(RunZrv({"encrypt", dir / "p"}).exitCode, 0);
    encrypted = ReadFile(dir / "p.zrv");
  }
  // The ciphertext's first chunk of 512 KiB ends past the header, key and signature.
  const std::size_t boundary = encrypted.size() - plain.size() - (8 - plain.size() % 8) + (512u << 10);
  for (const bool encrypting : {true, false}) {
    for (const bool direct : {true, false}) {
      SCOPED_TRACE(std::string(encrypting ? "encrypt" : "decrypt") + (direct ? "" : ", no direct read"));
      TempFolder dir;
      const std::string input = dir / (encrypting ? "p" : "p.zrv");
      WriteFile(input, encrypting ? plain : encrypted);
      std::vector<std::string> env = {"LD_PRELOAD=" FLAKY_READ_PATH, "ASAN_OPTIONS=verify_asan_link_order=0",
                                      "FERRUNE_FLAKY_FILE=" + input,
                                      "FERRUNE_FLAKY_AT=" + std::to_string(encrypting ? 700000 : boundary + 10)};
      if (!direct) env.push_back("FERRUNE_FLAKY_NO_DIRECT=1");
      const Ran ran = Process({encrypting ? "encrypt" : "decrypt", input}, kPassword, env).Wait();
      EXPECT_NE(ran.exitCode, 0) << ran.errors;
      EXPECT_EQ(ReadFile(input), encrypting ? plain : encrypted);
      EXPECT_EQ(dir.Names(), std::vector<std::string>{encrypting ? "p" : "p.zrv"});
    }
  }
}

}  // namespace
}  // namespace ferrune::testing
