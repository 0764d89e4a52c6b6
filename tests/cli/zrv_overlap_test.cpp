// The native zrv when jobs overlap, the input changes or has other names, or
// the process dies: real processes, held at a known step by the test pause
// (FERRUNE_TEST_PAUSE) and released, interrupted or killed there.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "core/temp_name.h"
#include "platform/posix/native_path.h"
#include "tests/cli/zrv_jobs.h"
#include "tests/cli/zrv_process.h"
#include "tests/platform/posix/posix_support.h"

namespace ferrune::testing {
namespace {

using namespace std::chrono_literals;

std::string By(const Process& holder) { return " (zrv, process " + std::to_string(holder.pid()) + ")"; }

TEST(ZrvOverlap, ASecondJobOnTheSameFileIsRefusedAtOnceAndTheFirstCompletes) {
  TempFolder dir;
  const Bytes data = RandomBytes(100000, 1);
  WriteFile(dir / "a", data);
  Gate gate;
  Process first({"encrypt", dir / "a"}, kPassword, gate.Env());
  ASSERT_TRUE(gate.Reached());
  const Ran second = RunZrv({"encrypt", dir / "a"});
  EXPECT_EQ(second.exitCode, 4);
  // The lock tells who holds it.
  EXPECT_EQ(second.errors, Line(dir / "a", "The file is in use by another program" + By(first)));
  // Readers stay welcome: a check takes no hold (and finds no encrypted file).
  EXPECT_NE(RunZrv({"check", dir / "a"}).exitCode, 4);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"a"});
  gate.Open();
  const Ran done = first.Wait();
  EXPECT_EQ(done.exitCode, 0) << done.errors;
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.zrv"});
  EXPECT_EQ(Decrypted(dir, "a.zrv"), data);
}

TEST(ZrvOverlap, TwoJobsOnOnePairLoseNothing) {
  TempFolder dir;
  const Bytes old = TextBytes("old data"), newer = TextBytes("newer data");
  WriteFile(dir / "a.bin", old);
  ASSERT_EQ(RunZrv({"encrypt", dir / "a.bin"}).exitCode, 0);
  {
    // The decryption runs; a newer plain file appears and is encrypted.
    Gate gate;
    Process decrypting({"decrypt", dir / "a.bin.zrv"}, kPassword, gate.Env());
    ASSERT_TRUE(gate.Reached());
    WriteFile(dir / "a.bin", newer);
    const Ran encrypting = RunZrv({"encrypt", "--force", dir / "a.bin"});
    EXPECT_EQ(encrypting.exitCode, 5);
    EXPECT_EQ(encrypting.errors,
              Line(dir / "a.bin",
                   "Cannot write the output file: the file under the output name is in use by another program" +
                       By(decrypting)));
    gate.Open();
    // Its output appeared meanwhile, so nothing is replaced and nothing deleted.
    const Ran decrypted = decrypting.Wait();
    EXPECT_EQ(decrypted.exitCode, 5);
    EXPECT_EQ(decrypted.errors, Line(dir / "a.bin.zrv", "The output file changed during the work"));
    EXPECT_EQ(ReadFile(dir / "a.bin"), newer);
    EXPECT_EQ(Decrypted(dir, "a.bin.zrv"), old);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.bin", "a.bin.zrv"}));
  }
  // The encryption runs first; the decryption of the pair is refused.
  Gate gate;
  Process encrypting({"encrypt", "--force", dir / "a.bin"}, kPassword, gate.Env());
  ASSERT_TRUE(gate.Reached());
  // The encryption holds the file it is about to replace, too.
  const Ran decrypting = RunZrv({"decrypt", "--force", dir / "a.bin.zrv"});
  EXPECT_EQ(decrypting.exitCode, 4);
  EXPECT_EQ(decrypting.errors, Line(dir / "a.bin.zrv", "The file is in use by another program" + By(encrypting)));
  gate.Open();
  EXPECT_EQ(encrypting.Wait().exitCode, 0);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.bin.zrv"});
  EXPECT_EQ(Decrypted(dir, "a.bin.zrv"), newer);
}

TEST(ZrvOverlap, AnInputChangedWhileReadIsKeptAndTheOutputHoldsWhatWasRead) {
  TempFolder dir;
  const Bytes data = RandomBytes(300000, 2);
  struct Case {
    const char* what;
    void (*change)(const std::string& path);
  } cases[] = {
      {"appended",
       [](const std::string& path) {
         const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
         ASSERT_EQ(::write(fd, "LINE\n", 5), 5);
         ::close(fd);
       }},
      // Overwritten in place, and its write time put back as touch -r does:
      // the change time still tells.
      {"overwritten",
       [](const std::string& path) {
         struct stat before {};
         ASSERT_EQ(::stat(path.c_str(), &before), 0);
         const int fd = ::open(path.c_str(), O_WRONLY);
         ASSERT_EQ(::pwrite(fd, "XXXX", 4, 1000), 4);
         const struct timespec times[2] = {before.st_atim, before.st_mtim};
         ASSERT_EQ(::futimens(fd, times), 0);
         ::close(fd);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(dir / "log.bin", data);
    Gate gate;
    Process job({"encrypt", dir / "log.bin"}, kPassword, gate.Env());
    ASSERT_TRUE(gate.Reached());
    c.change(dir / "log.bin");
    const Bytes changed = ReadFile(dir / "log.bin");
    gate.Open();
    const Ran ran = job.Wait();
    EXPECT_EQ(ran.exitCode, 0);
    EXPECT_EQ(ran.errors, Line(dir / "log.bin",
                               "Encryption completed. The original file was kept: the file changed while it was read"));
    EXPECT_EQ(ReadFile(dir / "log.bin"), changed);
    const Bytes encrypted = Decrypted(dir, "log.bin.zrv");
    EXPECT_EQ(encrypted, Bytes(changed.begin(), changed.begin() + static_cast<std::ptrdiff_t>(data.size())));
    ::unlink((dir / "log.bin.zrv").c_str());
  }
}

// Natively only: under Wine a Unix link looks like a plain file.
TEST(ZrvOverlap, ThroughALinkOrOneOfSeveralNamesTheInputIsKept) {
  TempFolder dir;
  WriteFile(dir / "a", TextBytes("plain"));
  ASSERT_EQ(::symlink("a", (dir / "soft").c_str()), 0);
  ASSERT_EQ(::link((dir / "a").c_str(), (dir / "hard").c_str()), 0);
  const std::string kept = "Encryption completed. The original file was kept: other names lead to the same data";
  for (const char* name : {"soft", "hard"}) {
    SCOPED_TRACE(name);
    const Ran ran = RunZrv({"encrypt", dir / name});
    EXPECT_EQ(ran.exitCode, 0);
    EXPECT_EQ(ran.errors, Line(dir / name, kept));
    EXPECT_EQ(Decrypted(dir, std::string(name) + ".zrv"), TextBytes("plain"));
  }
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a", "hard", "hard.zrv", "soft", "soft.zrv"}));
  EXPECT_EQ(ReadFile(dir / "a"), TextBytes("plain"));
}

TEST(ZrvOverlap, AKilledJobLeavesNothingAtAnyStep) {
  TempFolder dir;
  const Bytes plain = RandomBytes(3 << 20, 3);
  const Bytes before = TextBytes("the output that stood there");
  WriteFile(dir / "p", plain);
  ASSERT_EQ(RunZrv({"--keep", "encrypt", dir / "p"}).exitCode, 0);
  const Bytes encrypted = ReadFile(dir / "p.zrv");
  for (const char* command : {"encrypt", "decrypt"}) {
    const bool encrypting = std::string(command) == "encrypt";
    const std::string input = dir / (encrypting ? "p" : "p.zrv");
    const std::string output = dir / (encrypting ? "p.zrv" : "p");
    for (const std::string step : {"open", "middle", "written", "commit", "replacing"}) {
      SCOPED_TRACE(std::string(command) + " at " + step);
      WriteFile(output, before);
      Gate gate;
      Process job({command, "--force", input}, kPassword, gate.Env(step));
      ASSERT_TRUE(gate.Reached());
      ::kill(job.pid(), SIGKILL);
      EXPECT_EQ(job.Wait().signal, SIGKILL);
      if (step == "replacing") {
        // Set aside when killed: the same command again puts it back first, then replaces it.
        const Ran again = Process({"--keep", command, "--force", input}, kPassword).Wait();
        EXPECT_EQ(again.exitCode, 0) << again.errors;
        EXPECT_EQ(encrypting ? Decrypted(dir, "p.zrv") : ReadFile(output), plain);
      } else {
        EXPECT_EQ(ReadFile(output), before);
      }
      EXPECT_EQ(dir.Names(), (std::vector<std::string>{"p", "p.zrv"}));
      EXPECT_EQ(ReadFile(input), encrypting ? plain : encrypted);
    }
    WriteFile(output, encrypting ? encrypted : plain);
  }
}

TEST(ZrvOverlap, ASecondInterruptEndsAtOnceWith130AndLeavesNothing) {
  TempFolder dir;
  WriteFile(dir / "f", RandomBytes(3 << 20, 4));
  Gate gate;
  Process job({"encrypt", dir / "f"}, kPassword, gate.Env("middle"));
  ASSERT_TRUE(gate.Reached());
  ::kill(job.pid(), SIGINT);
  // Two at once would merge into one: the second goes once the first is taken.
  ASSERT_TRUE(SignalTaken(job.pid(), SIGINT));
  ::kill(job.pid(), SIGINT);
  const Ran ran = job.Wait();
  EXPECT_EQ(ran.signal, 0);
  EXPECT_EQ(ran.exitCode, 130);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"f"});
}

TEST(ZrvOverlap, TheNextJobRemovesLeftoversThatNoJobHolds) {
  TempFolder dir;
  WriteFile(dir / "f", TextBytes("data"));
  // As a power cut leaves it, and one that a running job holds locked.
  const std::string dead = ToNativePath(NewTempFileName(4242)), running = ToNativePath(NewTempFileName(4243));
  WriteFile(dir / dead, Bytes(5000, 1));
  WriteFile(dir / running, Bytes(5000, 2));
  const int held = ::open((dir / running).c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  // Not our pattern: never touched.
  WriteFile(dir / ".ferrune-notes.tmp", Bytes(10, 3));
  EXPECT_EQ(RunZrv({"encrypt", dir / "f"}).exitCode, 0);
  ::close(held);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{running, ".ferrune-notes.tmp", "f.zrv"}));
}

}  // namespace
}  // namespace ferrune::testing
