// What the POSIX file system gives a file job: the hold, commits that never
// replace, temporary files with and without a name, page writes past the
// cache, and the cleanup of leftovers that no job holds.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "core/temp_name.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_file_system.h"
#include "tests/platform/posix/posix_support.h"

namespace ferrune::testing {
namespace {

std::wstring Wide(const std::string& path) { return FromNativePath(path); }

std::unique_ptr<TempFile> Written(FileSystem& fs, const std::string& finalPath, const std::string& text) {
  auto temp = std::move(fs.CreateTemp(Wide(finalPath)).file);
  EXPECT_TRUE(temp);
  if (!temp) return nullptr;
  EXPECT_TRUE(temp->WriteAt(0, reinterpret_cast<const std::uint8_t*>(text.data()), text.size()).ok());
  EXPECT_TRUE(temp->Flush().ok());
  return temp;
}

bool NamedTempIn(const TempFolder& dir) {
  for (const std::string& name : dir.Names()) {
    if (IsTempFileName(Wide(name))) return true;
  }
  return false;
}

TEST(PosixJobFiles, CommitsNeverReplaceUnlessAskedWithOrWithoutUnnamedFiles) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed" : "named");
    TempFolder dir;
    PosixFileSystem fs(unnamed);
    WriteFile(dir / "out", TextBytes("stood there"));
    auto temp = Written(fs, dir / "out", "new");
    // Only a named file shows while it is written.
    EXPECT_EQ(NamedTempIn(dir), !unnamed);
    EXPECT_EQ(temp->Commit(Wide(dir / "out"), Replacing::Nothing()).outcome, Outcome::OutputChanged);
    temp.reset();
    EXPECT_EQ(ReadFile(dir / "out"), TextBytes("stood there"));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"out"});

    EXPECT_EQ(Written(fs, dir / "fresh", "fresh")->Commit(Wide(dir / "fresh"), Replacing::Nothing()).outcome,
              Outcome::Success);
    EXPECT_EQ(ReadFile(dir / "fresh"), TextBytes("fresh"));
    struct stat st {};
    ASSERT_EQ(::stat((dir / "fresh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    FileIdentity standing;
    ASSERT_TRUE(fs.Identify(Wide(dir / "out"), &standing).ok());
    EXPECT_EQ(Written(fs, dir / "out", "replaced")->Commit(Wide(dir / "out"), Replacing::Only(standing)).outcome,
              Outcome::Success);
    EXPECT_EQ(ReadFile(dir / "out"), TextBytes("replaced"));
    Written(fs, dir / "out", "dropped").reset();
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"fresh", "out"}));
  }
}

// Descriptors of this process opened with O_DIRECT, as /proc tells.
int DirectDescriptors() {
  int count = 0;
  DIR* fds = ::opendir("/proc/self/fdinfo");
  if (!fds) return -1;
  while (const dirent* entry = ::readdir(fds)) {
    std::ifstream info(std::string("/proc/self/fdinfo/") + entry->d_name);
    for (std::string line; std::getline(info, line);) {
      if (line.rfind("flags:", 0) == 0) count += (std::strtoul(line.c_str() + 6, nullptr, 8) & O_DIRECT) != 0;
    }
  }
  ::closedir(fds);
  return count;
}

bool FolderTakesDirect(const std::string& folder) {
  const std::string probe = folder + "/probe";
  const int fd = ::open(probe.c_str(), O_CREAT | O_WRONLY | O_DIRECT, 0600);
  if (fd >= 0) ::close(fd);
  ::unlink(probe.c_str());
  return fd >= 0;
}

TEST(PosixJobFiles, WholePagesGoPastTheCacheWhereTheSystemAllowsAndReadBackExactly) {
  constexpr std::size_t kPage = 4096, kPart = 64 * kPage;
  // Page-aligned parts, then a tail of no whole page, as a decryption writes.
  Bytes data = RandomBytes(3 * kPart + 1234, 5);
  const std::unique_ptr<std::uint8_t, decltype(&std::free)> buffer(
      static_cast<std::uint8_t*>(std::aligned_alloc(kPage, 5 * kPart)), &std::free);
  ASSERT_NE(buffer, nullptr);
  std::uint8_t* const aligned = buffer.get();
  std::copy(data.begin(), data.end(), aligned);
  TempFolder local;
  std::vector<std::string> folders = {local.path()};
  char shm[] = "/dev/shm/ferrune-direct-XXXXXX";  // tmpfs, which may refuse
  if (::mkdtemp(shm)) folders.push_back(shm);
  for (const bool unnamed : {true, false}) {
    for (const std::string& folder : folders) {
      SCOPED_TRACE(folder + (unnamed ? " unnamed" : " named"));
      const std::string out = folder + (unnamed ? "/unnamed" : "/named");
      PosixFileSystem fs(unnamed);
      const int before = DirectDescriptors();
      auto temp = std::move(fs.CreateTemp(Wide(out)).file);
      ASSERT_TRUE(temp);
      EXPECT_EQ(DirectDescriptors() - before, FolderTakesDirect(folder) ? 1 : 0);
      std::uint8_t* const back = aligned + 4 * kPart;
      for (std::size_t offset = 0; offset < data.size(); offset += kPart) {
        const std::size_t length = std::min(kPart, data.size() - offset);
        ASSERT_TRUE(temp->WriteAt(offset, aligned + offset, length).ok());
        // The proof reads each part back, from a page too, while the next is written.
        ASSERT_TRUE(temp->ReadAt(offset, back, length).ok());
        EXPECT_TRUE(std::equal(back, back + length, data.begin() + offset));
      }
      ASSERT_TRUE(temp->Flush().ok());
      ASSERT_EQ(temp->Commit(Wide(out), Replacing::Nothing()).outcome, Outcome::Success);
      temp.reset();
      EXPECT_EQ(DirectDescriptors(), before);
      EXPECT_EQ(ReadFile(out), data);
    }
  }
  if (folders.size() > 1) std::filesystem::remove_all(shm);
}

TEST(PosixJobFiles, WithoutUnnamedFilesTheCleanupRemovesOnlyWhatNoJobHolds) {
  TempFolder dir;
  PosixFileSystem fs(false);
  auto running = Written(fs, dir / "out", "a running job's");
  ASSERT_TRUE(NamedTempIn(dir));
  const std::string dead = ToNativePath(NewTempFileName(77));
  WriteFile(dir / dead, TextBytes("a power cut's"));
  WriteFile(dir / "other.tmp", TextBytes("not ours"));
  fs.RemoveLeftovers(Wide(dir / "out"));
  const std::vector<std::string> names = dir.Names();
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(std::count(names.begin(), names.end(), dead), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), "other.tmp"), 1);
  running.reset();
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"other.tmp"});
}

// A sweep never deletes what a job set aside, whatever its name says: every
// content that stood in the folder is under a visible name after it; only a
// file that a running job holds stays as it is.
TEST(PosixJobFiles, TheSweepPutsBackEverythingSetAsideAndDeletesNone) {
  struct Row {
    const char* what;
    AsideKind kind;
    bool identityMatches;  // the digits tell this very file
    bool nameTaken;
    bool cut;   // a name too long to embed whole
    bool held;  // by a running job
  } const rows[] = {
      {"a checked input", AsideKind::Delete, true, false, false, false},
      {"a checked input, its name taken again", AsideKind::Delete, true, true, false, false},
      {"a save moved aside", AsideKind::Delete, false, false, false, false},
      {"a file about to be replaced", AsideKind::Replace, true, false, false, false},
      {"a file replaced by an output", AsideKind::Replace, true, true, false, false},
      {"a long name", AsideKind::Delete, true, false, true, false},
      {"a running job's input", AsideKind::Delete, true, false, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempFolder dir;
    PosixFileSystem fs;
    WriteFile(dir / "file", TextBytes("set aside"));
    WriteFile(dir / "other", TextBytes("another"));
    FileIdentity identity;
    ASSERT_TRUE(fs.Identify(Wide(dir / (row.identityMatches ? "file" : "other")), &identity).ok());
    const std::wstring original = row.cut ? std::wstring(250, L'r') + L".txt" : L"report.txt";
    const std::string aside = ToNativePath(
        AsideOf(row.kind, identity, original, [&](std::wstring_view n) { return !row.cut || n.size() <= 255; }).name);
    ASSERT_EQ(::rename((dir / "file").c_str(), (dir / aside).c_str()), 0);
    ::unlink((dir / "other").c_str());
    if (row.nameTaken) WriteFile(dir / "report.txt", TextBytes("taken"));
    const Taken job = row.held ? fs.OpenHeld(Wide(dir / aside)) : Taken{};
    fs.RemoveLeftovers(Wide(dir / "x"));
    std::vector<Bytes> visible;
    for (const std::string& name : dir.Names()) {
      if (name[0] != '.') visible.push_back(ReadFile(dir / name));
    }
    EXPECT_EQ(std::count(visible.begin(), visible.end(), TextBytes("set aside")), row.held ? 0 : 1);
    EXPECT_EQ(Exists(dir / aside), row.held);
    if (row.nameTaken) {
      EXPECT_EQ(ReadFile(dir / "report.txt"), TextBytes("taken"));
    }
  }
}

TEST(PosixJobFiles, AHeldFileRefusesOtherJobsButNotReaders) {
  TempFolder dir;
  PosixFileSystem fs;
  WriteFile(dir / "in", TextBytes("data"));
  Taken held = fs.OpenHeld(Wide(dir / "in"));
  ASSERT_TRUE(held.file);
  EXPECT_EQ(held.seen.size, 4u);
  EXPECT_EQ(held.seen.links, 1u);
  const Taken again = fs.OpenHeld(Wide(dir / "in"));
  EXPECT_FALSE(again.file);
  EXPECT_EQ(again.refused, Outcome::InUse);
  EXPECT_EQ(fs.HoldExisting(Wide(dir / "in")).error, FileError::Own(OwnError::HeldElsewhere, FileOp::Hold));
  EXPECT_TRUE(fs.OpenRead(Wide(dir / "in")).file);
  const Taken missing = fs.OpenHeld(Wide(dir / "missing"));
  EXPECT_EQ(missing.refused, Outcome::CannotRead);
  EXPECT_EQ(missing.error, FileError::Posix(ENOENT, FileOp::Open));
  held.file.reset();
  const Hold hold = fs.HoldExisting(Wide(dir / "in"));
  EXPECT_TRUE(hold.hold);
  EXPECT_EQ(hold.seen.index, held.seen.index);
}

}  // namespace
}  // namespace ferrune::testing
