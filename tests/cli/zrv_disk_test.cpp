// The native zrv when the disk fails or other programs move files at the
// worst moment: flushes that fail at each of their calls (strace makes the
// system call fail), a file saved over the output name during --force, a
// file moved onto the input's name at its delete; and what a user keeps
// across a round trip: the permission bits and the date, a job through a
// hangup.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/texts.h"
#include "tests/cli/zrv_jobs.h"
#include "tests/cli/zrv_process.h"
#include "tests/platform/posix/posix_support.h"

namespace ferrune::testing {
namespace {

// strace, to make the `n`-th `call` of zrv fail with `error`. The leak
// check cannot run under ptrace (ASAN_OPTIONS=detect_leaks=0).
std::vector<std::string> Failing(const std::string& call, const std::string& error, int n) {
  return {
      "strace",    "-f", "--seccomp-bpf", "-qq", "-o",
      "/dev/null", "-e", "trace=" + call, "-e",  "inject=" + call + ":error=" + error + ":when=" + std::to_string(n)};
}

Ran RunWithFailingFsync(std::vector<std::string> args, int n) {
  return Process(std::move(args), kPassword, {"ASAN_OPTIONS=detect_leaks=0"}, Failing("fsync", "EIO", n)).Wait();
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

// The system's own words end the line: a full disk, a read-only one.
TEST(ZrvDisk, ADiskThatRefusesTheOutputSaysWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  for (const bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly ? "read-only" : "full");
    TempFolder dir;
    const std::string disk = dir / "disk";
    ASSERT_EQ(::mkdir(disk.c_str(), 0700), 0);
    ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k"), 0) << std::strerror(errno);
    // The input lies elsewhere; its output would go to the small disk.
    WriteFile(dir / "f", PrintableBytes(200000, 5));
    ASSERT_EQ(::symlink((dir / "f").c_str(), (disk + "/f").c_str()), 0);
    if (readOnly) {
      ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
    }
    const Ran ran = RunZrv({"--keep", "encrypt", disk + "/f"});
    ::umount(disk.c_str());
    EXPECT_EQ(ran.exitCode, 5);
    EXPECT_EQ(ran.errors, Line(disk + "/f", std::string("Cannot write the output file: ") +
                                                std::strerror(readOnly ? EROFS : ENOSPC)));
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
// for the input, a move of it and another program that has it open are told
// as such; a put-back that fails says where the input lies, never "kept".
TEST(ZrvDisk, WhatHappensToTheInputAtItsDeleteIsToldAndNothingIsLost) {
  const std::string input = "read and encrypted";
  struct Case {
    const char* step;
    const char* event;  // save NAME, link, move, open (kept open to the end)
    std::vector<std::string> through;
    int exitCode;
    const char* why;
    std::vector<std::string> names;  // %1: the name of ours the input lies under
    const char* holder;              // the name that holds `input` afterwards, if any
  } const cases[] = {
      {"delete", "save f", {}, 0, "the file changed while it was read", {"f", "f.zrv"}, nullptr},
      {"delete", "link", {}, 0, "other names lead to the same data", {"f", "f.zrv", "g"}, "g"},
      {"delete", "move", {}, 0, "it was moved or renamed during the work", {"f.zrv", "g"}, "g"},
      {"delete", "open", {}, 0, "another program has it open", {"f", "f.zrv"}, "f"},
      // This job's output is not there: no success to report.
      {"removing",
       "save f.zrv",
       {},
       5,
       "the output file was replaced before the original could go",
       {"f", "f.zrv"},
       "f"},
      // The set-aside is the job's first rename, the put-back its second.
      {"removing",
       "save f.zrv",
       Failing("renameat2", "ENOSPC", 2),
       5,
       "the output file was replaced before the original could go; the file set aside could not be put back and "
       "lies hidden as %1: No space left on device",
       {"%1", "f.zrv"},
       "%1"},
  };
  const auto act = [](const TempFolder& dir, const std::string& event) {
    if (event.rfind("save ", 0) == 0) SaveOver(dir, event.substr(5), "NEW");
    const int moved = event == "link"   ? ::link((dir / "f").c_str(), (dir / "g").c_str())
                      : event == "move" ? ::rename((dir / "f").c_str(), (dir / "g").c_str())
                                        : 0;
    EXPECT_EQ(moved, 0) << event;
    return event == "open" ? ::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC) : -1;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.event) + " at " + c.step);
    TempFolder dir;
    WriteFile(dir / "f", TextBytes(input));
    Gate gate;
    std::vector<std::string> env = gate.Env(c.step);
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
    Process encrypting({"encrypt", dir / "f"}, kPassword, env, c.through);
    ASSERT_TRUE(gate.Reached());
    const int open = act(dir, c.event);
    gate.Open();
    const Ran ran = encrypting.Wait();
    if (open >= 0) ::close(open);
    std::string hidden = "(none)";
    for (const std::string& name : dir.Names()) {
      if (name.rfind(".ferrune-d-", 0) == 0) hidden = name;
    }
    const auto filled = [&](const std::string& text) { return texts::Filled(text, {hidden}); };
    EXPECT_EQ(ran.exitCode, c.exitCode);
    EXPECT_EQ(ran.errors,
              Line(dir / "f", filled(std::string("Encryption completed. The original file was kept: ") + c.why)));
    std::vector<std::string> names;
    for (const std::string& name : c.names) names.push_back(filled(name));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(dir.Names(), names);
    // Nothing is lost: the input is under a name, or in the output.
    if (c.holder) {
      EXPECT_EQ(ReadFile(dir / filled(c.holder)), TextBytes(input));
    }
    if (c.exitCode == 0) {
      EXPECT_EQ(Decrypted(dir, "f.zrv"), TextBytes(input));
    }
  }
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::pair<time_t, long> WriteTimeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return {st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// The encrypted file carries the plain file's bits and date, and decrypting
// gives them back: any date the file system keeps, before 1970 with a part
// of a second, past 2262 (where a count of nanoseconds ends).
TEST(ZrvDisk, ARoundTripKeepsThePermissionBitsAndTheDate) {
  struct Case {
    mode_t mode;
    timespec date;
  } const cases[] = {{0644, {1557126489, 123456789}},  // 2019-05-06 07:08:09 UTC
                     {0600, {-1, 500000000}},          // half a second before 1970
                     {0640, {10413792000, 7}}};        // 2300-01-01
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date.tv_sec);
    TempFolder dir;
    WriteFile(dir / "doc", TextBytes("a document"));
    ASSERT_EQ(::chmod((dir / "doc").c_str(), c.mode), 0);
    const timespec times[2] = {{0, UTIME_OMIT}, c.date};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "doc").c_str(), times, 0), 0);
    const auto written = WriteTimeOf(dir / "doc");
    ASSERT_EQ(written, std::pair(c.date.tv_sec, c.date.tv_nsec)) << "the file system keeps the date";
    ASSERT_EQ(RunZrv({"encrypt", dir / "doc"}).exitCode, 0);
    EXPECT_EQ(ModeOf(dir / "doc.zrv"), c.mode);
    EXPECT_EQ(WriteTimeOf(dir / "doc.zrv"), written);
    ASSERT_EQ(RunZrv({"decrypt", dir / "doc.zrv"}).exitCode, 0);
    EXPECT_EQ(ModeOf(dir / "doc"), c.mode);
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
