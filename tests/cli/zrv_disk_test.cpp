// The native zrv when the disk fails or other programs move files at the
// worst moment: flushes that fail at each of their calls (strace makes the
// system call fail), a file saved over the output name during --force, a
// file moved onto the input's name at its delete; and what a user keeps
// across a round trip: the permission bits and the date, a job through a
// hangup.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/cli/zrv_jobs.h"
#include "tests/cli/zrv_process.h"
#include "tests/platform/posix/posix_support.h"

namespace ferrune::testing {
namespace {

// zrv with its `n`-th fsync failing with EIO. The leak check cannot run
// under ptrace.
Ran RunWithFailingFsync(std::vector<std::string> args, int n) {
  return Process(std::move(args), kPassword, {"ASAN_OPTIONS=detect_leaks=0"},
                 {"strace", "-f", "--seccomp-bpf", "-qq", "-o", "/dev/null", "-e", "trace=fsync", "-e",
                  "inject=fsync:error=EIO:when=" + std::to_string(n)})
      .Wait();
}

TEST(ZrvDisk, EveryFailedFlushFailsTheJobAndKeepsTheInput) {
  struct Case {
    const char* what;
    std::size_t size;
    int failing;  // which fsync of the run fails
    int exitCode;
    const char* line;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      // From 32 MiB on the output is flushed behind the writer as well.
      {"the flush behind", 40u << 20, 1, 5, "Cannot write the output file: Input/output error", {"f"}},
      {"the last flush", 5u << 20, 1, 5, "Cannot write the output file: Input/output error", {"f"}},
      {"the folder's flush",
       5u << 20,
       2,
       5,
       "The output file was written, but the disk reported an error: Input/output error. The original file was kept",
       {"f", "f.zrv"}},
      // The input is gone, but its removal may not have reached the disk.
      {"the folder's flush after the delete",
       5u << 20,
       3,
       0,
       "Encryption completed. The original file was deleted, but the disk reported an error: it may come back after "
       "a power cut: Input/output error",
       {"f.zrv"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder dir;
    const Bytes data = PrintableBytes(c.size, 3);
    WriteFile(dir / "f", data);
    const Ran ran = RunWithFailingFsync({"encrypt", dir / "f"}, c.failing);
    EXPECT_EQ(ran.exitCode, c.exitCode);
    EXPECT_EQ(ran.errors, Line(dir / "f", c.line));
    EXPECT_EQ(dir.Names(), c.names);
    // The data is still there: as the input, or in the output.
    EXPECT_EQ(c.names[0] == "f" ? ReadFile(dir / "f") : Decrypted(dir, "f.zrv"), data);
  }
}

// An editor's save: a new file renamed over the name.
void SaveOver(const TempFolder& dir, const std::string& name, const std::string& text) {
  WriteFile(dir / ("." + name + ".new"), TextBytes(text));
  ASSERT_EQ(::rename((dir / ("." + name + ".new")).c_str(), (dir / name).c_str()), 0);
}

TEST(ZrvDisk, AFileSavedOverTheOutputNameDuringForceIsNeverReplaced) {
  TempFolder dir;
  WriteFile(dir / "a", TextBytes("plain"));
  ASSERT_EQ(RunZrv({"--keep", "encrypt", dir / "a"}).exitCode, 0);
  Gate gate;
  Process decrypting({"decrypt", "--force", dir / "a.zrv"}, kPassword, gate.Env("commit"));
  ASSERT_TRUE(gate.Reached());
  SaveOver(dir, "a", "NEW");
  gate.Open();
  const Ran ran = decrypting.Wait();
  EXPECT_EQ(ran.exitCode, 5);
  EXPECT_EQ(ran.errors, Line(dir / "a.zrv", "The output file changed during the work"));
  EXPECT_EQ(ReadFile(dir / "a"), TextBytes("NEW"));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a", "a.zrv"}));
  EXPECT_EQ(Decrypted(dir, "a.zrv"), TextBytes("plain"));
}

// At the delete: a file moved onto the input's name survives; a name made
// for the input is told as such.
TEST(ZrvDisk, WhatHappensToTheInputAtItsDeleteIsToldAndNothingIsLost) {
  struct Case {
    const char* what;
    void (*event)(const TempFolder& dir);
    const char* why;
    std::vector<std::string> names;
  } const cases[] = {
      {"a save",
       [](const TempFolder& dir) { SaveOver(dir, "f", "NEW"); },
       "the file changed while it was read",
       {"f", "f.zrv"}},
      {"a hard link",
       [](const TempFolder& dir) { ASSERT_EQ(::link((dir / "f").c_str(), (dir / "g").c_str()), 0); },
       "other names lead to the same data",
       {"f", "f.zrv", "g"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder dir;
    WriteFile(dir / "f", TextBytes("read and encrypted"));
    Gate gate;
    Process encrypting({"encrypt", dir / "f"}, kPassword, gate.Env("delete"));
    ASSERT_TRUE(gate.Reached());
    c.event(dir);
    const Bytes there = ReadFile(dir / "f");
    gate.Open();
    const Ran ran = encrypting.Wait();
    EXPECT_EQ(ran.exitCode, 0);
    EXPECT_EQ(ran.errors, Line(dir / "f", std::string("Encryption completed. The original file was kept: ") + c.why));
    EXPECT_EQ(ReadFile(dir / "f"), there);
    EXPECT_EQ(dir.Names(), c.names);
    EXPECT_EQ(Decrypted(dir, "f.zrv"), TextBytes("read and encrypted"));
  }
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::int64_t WriteTimeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

// The encrypted file carries the plain file's bits and date, and decrypting
// gives them back.
TEST(ZrvDisk, ARoundTripKeepsThePermissionBitsAndTheDate) {
  // 2019-05-06 07:08:09 UTC, and a part of a second the file system keeps.
  const timespec date[2] = {{0, UTIME_OMIT}, {1557126489, 123456789}};
  for (const mode_t mode : {mode_t{0644}, mode_t{0600}, mode_t{0640}}) {
    SCOPED_TRACE(mode);
    TempFolder dir;
    WriteFile(dir / "doc", TextBytes("a document"));
    ASSERT_EQ(::chmod((dir / "doc").c_str(), mode), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "doc").c_str(), date, 0), 0);
    const std::int64_t written = WriteTimeOf(dir / "doc");
    ASSERT_EQ(RunZrv({"encrypt", dir / "doc"}).exitCode, 0);
    EXPECT_EQ(ModeOf(dir / "doc.zrv"), mode);
    EXPECT_EQ(WriteTimeOf(dir / "doc.zrv"), written);
    ASSERT_EQ(RunZrv({"decrypt", dir / "doc.zrv"}).exitCode, 0);
    EXPECT_EQ(ModeOf(dir / "doc"), mode);
    EXPECT_EQ(WriteTimeOf(dir / "doc"), written);
  }
}

TEST(ZrvDisk, UnderNohupAHangupDoesNotStopTheJob) {
  TempFolder dir;
  const Bytes data = PrintableBytes(3u << 20, 4);
  WriteFile(dir / "f", data);
  Gate gate;
  Process job({"encrypt", dir / "f"}, kPassword, gate.Env("middle"), {"nohup"});
  ASSERT_TRUE(gate.Reached());
  ASSERT_EQ(::kill(job.pid(), SIGHUP), 0);
  gate.Open();
  const Ran ran = job.Wait();
  EXPECT_EQ(ran.signal, 0);
  EXPECT_EQ(ran.exitCode, 0) << ran.errors;
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"f.zrv"});
  EXPECT_EQ(Decrypted(dir, "f.zrv"), data);
}

}  // namespace
}  // namespace ferrune::testing
