// What the POSIX file system gives a file job: the hold, commits that never
// replace, temporary files with and without a name, and the cleanup of
// leftovers that no job holds.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "native_path.h"
#include "posix_file_system.h"
#include "posix_support.h"

namespace ferrune::testing {
namespace {

std::wstring Wide(const std::string& path) { return FromNativePath(path); }

std::unique_ptr<TempFile> Written(FileSystem& fs, const std::string& finalPath, const std::string& text) {
  auto temp = fs.CreateTemp(Wide(finalPath));
  EXPECT_TRUE(temp);
  if (!temp) return nullptr;
  EXPECT_TRUE(temp->WriteAt(0, reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  EXPECT_TRUE(temp->Flush());
  return temp;
}

bool NamedTempIn(const TempFolder& dir) {
  for (const std::string& name : dir.Names()) {
    if (name.rfind(kTempPrefix, 0) == 0) return true;
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
    EXPECT_FALSE(fs.CommitNew(std::move(temp), Wide(dir / "out")));
    EXPECT_EQ(ReadFile(dir / "out"), TextBytes("stood there"));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"out"});

    EXPECT_TRUE(fs.CommitNew(Written(fs, dir / "fresh", "fresh"), Wide(dir / "fresh")));
    EXPECT_EQ(ReadFile(dir / "fresh"), TextBytes("fresh"));
    struct stat st {};
    ASSERT_EQ(::stat((dir / "fresh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(fs.Commit(Written(fs, dir / "out", "replaced"), Wide(dir / "out")));
    EXPECT_EQ(ReadFile(dir / "out"), TextBytes("replaced"));
    fs.Discard(Written(fs, dir / "out", "dropped"));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"fresh", "out"}));
  }
}

TEST(PosixJobFiles, WithoutUnnamedFilesTheCleanupRemovesOnlyWhatNoJobHolds) {
  TempFolder dir;
  PosixFileSystem fs(false);
  auto running = Written(fs, dir / "out", "a running job's");
  ASSERT_TRUE(NamedTempIn(dir));
  WriteFile(dir / ".ferrune-77-00c0ffee.tmp", TextBytes("a power cut's"));
  WriteFile(dir / "other.tmp", TextBytes("not ours"));
  fs.RemoveLeftovers(Wide(dir / "out"));
  const std::vector<std::string> names = dir.Names();
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(std::count(names.begin(), names.end(), ".ferrune-77-00c0ffee.tmp"), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), "other.tmp"), 1);
  fs.Discard(std::move(running));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"other.tmp"});
}

TEST(PosixJobFiles, AHeldFileRefusesOtherJobsButNotReaders) {
  TempFolder dir;
  PosixFileSystem fs;
  WriteFile(dir / "in", TextBytes("data"));
  FileIdentity seen;
  Outcome refused = Outcome::Success;
  auto held = fs.OpenHeld(Wide(dir / "in"), &seen, &refused);
  ASSERT_TRUE(held);
  EXPECT_EQ(seen.size, 4u);
  EXPECT_EQ(seen.links, 1u);
  FileIdentity again;
  EXPECT_FALSE(fs.OpenHeld(Wide(dir / "in"), &again, &refused));
  EXPECT_EQ(refused, Outcome::InUse);
  EXPECT_FALSE(fs.HoldExisting(Wide(dir / "in")));
  EXPECT_TRUE(fs.OpenRead(Wide(dir / "in")));
  EXPECT_FALSE(fs.OpenHeld(Wide(dir / "missing"), &again, &refused));
  EXPECT_EQ(refused, Outcome::CannotRead);
  held.reset();
  EXPECT_TRUE(fs.HoldExisting(Wide(dir / "in")));
}

}  // namespace
}  // namespace ferrune::testing
