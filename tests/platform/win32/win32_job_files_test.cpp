// What the Win32 file system gives a file job under Wine: the hold that keeps
// jobs apart and lets readers in, temporary files marked for deletion until
// their rename, commits that replace only the file agreed on, the cleanup of
// leftovers, and the delete of exactly the file that was read.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/file_job.h"
#include "core/temp_name.h"
#include "platform/win32/file_crypt.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_temp_file.h"
#include "platform/win32/win_handles.h"
#include "tests/platform/win32/win_support.h"

namespace ferrune::testing {
namespace {

std::unique_ptr<TempFile> Written(Win32FileSystem& fs, const std::wstring& finalPath, const Bytes& data) {
  auto temp = std::move(fs.CreateTemp(finalPath).file);
  EXPECT_TRUE(temp);
  if (!temp) return nullptr;
  EXPECT_TRUE(temp->WriteAt(0, data.data(), data.size()).ok());
  EXPECT_TRUE(temp->Flush().ok());
  return temp;
}

std::wstring OnlyTempIn(const TestFolder& dir) {
  for (const std::wstring& name : dir.Names()) {
    if (IsTempFileName(name)) return dir / name;
  }
  return {};
}

TEST(Win32JobFiles, AHeldFileKeepsOtherJobsWritersAndDeletesOutButLetsReadersIn) {
  TestFolder dir;
  Win32FileSystem fs;
  const std::wstring path = dir / L"in";
  WriteBytes(path, PrintableBytes(100));
  Taken held = fs.OpenHeld(path);
  ASSERT_TRUE(held.file);
  EXPECT_EQ(held.seen.size, 100u);
  EXPECT_EQ(held.seen.links, 1u);
  EXPECT_EQ(fs.OpenHeld(path).refused, Outcome::InUse);
  EXPECT_EQ(fs.HoldExisting(path).error, FileError::Own(OwnError::HeldElsewhere, FileOp::Hold));
  // A viewer reads the whole file while the job runs.
  HANDLE reader =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::uint8_t buffer[100];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(reader, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(got, 100u);
  CloseHandle(reader);
  EXPECT_EQ(
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr),
      INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  held.file.reset();
  EXPECT_EQ(fs.HoldExisting(path).seen.index, held.seen.index);
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  // The system's own moves do not replace a read-only file.
  EXPECT_EQ(fs.HoldExisting(path).error, FileError::Own(OwnError::ReadOnly, FileOp::Hold));
}

TEST(Win32JobFiles, ATemporaryFileIsMarkedForDeletionAndCommitsReplaceOnlyWhenAsked) {
  TestFolder dir;
  Win32FileSystem fs;
  const std::wstring out = dir / L"out";
  WriteBytes(out, PrintableBytes(10));
  auto temp = Written(fs, out, PrintableBytes(20));
  const std::wstring tempPath = OnlyTempIn(dir);
  ASSERT_FALSE(tempPath.empty());
  // Marked: no other open gets it, whatever it shares.
  EXPECT_EQ(CreateFileW(tempPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(temp->Commit(out, Replacing::Nothing()).outcome, Outcome::OutputChanged);
  temp.reset();
  EXPECT_EQ(ReadBytes(out), PrintableBytes(10));
  EXPECT_EQ(dir.Names(), std::vector<std::wstring>{L"out"});

  EXPECT_EQ(Written(fs, dir / L"fresh", PrintableBytes(30))->Commit(dir / L"fresh", Replacing::Nothing()).outcome,
            Outcome::Success);
  EXPECT_EQ(ReadBytes(dir / L"fresh"), PrintableBytes(30));
  FileIdentity standing;
  ASSERT_TRUE(fs.Identify(out, &standing).ok());
  EXPECT_EQ(Written(fs, out, PrintableBytes(40))->Commit(out, Replacing::Only(standing)).outcome, Outcome::Success);
  EXPECT_EQ(ReadBytes(out), PrintableBytes(40));
  // Through the job's hold, which sets the file aside; nothing stays aside.
  Hold hold = fs.HoldExisting(out);
  ASSERT_TRUE(hold.hold);
  EXPECT_EQ(Written(fs, out, PrintableBytes(45))->Commit(out, Replacing::Only(hold.seen, hold.hold.get())).outcome,
            Outcome::Success);
  hold.hold.reset();
  EXPECT_EQ(ReadBytes(out), PrintableBytes(45));
  Written(fs, out, PrintableBytes(50)).reset();
  EXPECT_EQ(dir.Names(), (std::vector<std::wstring>{L"fresh", L"out"}));
}

TEST(Win32JobFiles, TheCleanupRemovesOnlyLeftoversThatNoJobHolds) {
  TestFolder dir;
  Win32FileSystem fs;
  auto running = Written(fs, dir / L"out", PrintableBytes(20));
  const std::wstring leftover = dir / NewTempFileName(0x1234);
  WriteBytes(leftover, PrintableBytes(5000));
  // The sweep's pattern, but no name of ours.
  const std::wstring notes = dir / L".ferrune-notes.tmp";
  WriteBytes(notes, PrintableBytes(5));
  fs.RemoveLeftovers(dir / L"out");
  EXPECT_FALSE(Exists(leftover));
  EXPECT_TRUE(Exists(notes));
  EXPECT_EQ(dir.Names().size(), 2u) << "the running job's file stays";
  running.reset();
  EXPECT_EQ(dir.Names(), std::vector<std::wstring>{L".ferrune-notes.tmp"});
}

// A file set aside under a name of ours, from "a": a running job's stays,
// any other goes back, a checked input (its own identity in the name) too.
TEST(Win32JobFiles, TheSweepPutsSetAsideFilesBackAndDeletesNone) {
  TestFolder dir;
  Win32FileSystem fs;
  const struct Row {
    const char* name;
    AsideKind kind;
    bool itsIdentity;
    bool nameTaken;
    bool held;
    const wchar_t* endsAt;  // empty: removed; null: where it was set aside
  } rows[] = {
      {"replaced, its name taken", AsideKind::Replace, true, true, false, L"a (kept by Ferrune)"},
      {"a checked input", AsideKind::Delete, true, false, false, L"a"},
      {"another file under an input's name", AsideKind::Delete, false, false, false, L"a"},
      {"a running job's", AsideKind::Replace, true, false, true, nullptr},
  };
  const Bytes bytes = PrintableBytes(100);
  for (const Row& row : rows) {
    dir.Clear();
    WriteBytes(dir / L"file", bytes);
    FileIdentity identity;
    ASSERT_TRUE(fs.Identify(dir / L"file", &identity).ok());
    identity.size += row.itsIdentity ? 0 : 1;
    const std::wstring aside = AsideOf(row.kind, identity, L"a", [](std::wstring_view) { return true; }).name;
    ASSERT_TRUE(MoveFileW((dir / L"file").c_str(), (dir / aside).c_str())) << row.name;
    if (row.nameTaken) WriteBytes(dir / L"a", {'n', 'e', 'w'});
    UniqueHandle job(row.held ? CreateFileW((dir / aside).c_str(), DELETE | GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr)
                              : INVALID_HANDLE_VALUE);
    fs.RemoveLeftovers(dir / L"a");
    job.reset();
    const std::wstring endsAt = row.endsAt ? row.endsAt : aside;
    std::vector<std::wstring> expected = row.nameTaken ? std::vector<std::wstring>{L"a"} : std::vector<std::wstring>{};
    if (!endsAt.empty()) expected.push_back(endsAt);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir.Names(), expected) << row.name;
    if (!endsAt.empty()) {
      EXPECT_EQ(ReadBytes(dir / endsAt), bytes) << row.name;
    }
  }
}

TEST(Win32JobFiles, AnInputGoneBeforeItsDeleteIsGoneAndAFolderThatCannotBeOpenedIsNotFlushed) {
  TestFolder dir;
  Win32FileSystem fs;
  WriteBytes(dir / L"in", PrintableBytes(10));
  Taken held = fs.OpenHeld(dir / L"in");
  ASSERT_TRUE(held.file);
  // As when another program removes the input between the read and the delete.
  const Opened<DeletableFile> gone = held.file->ForDelete(dir / L"removed");
  ASSERT_TRUE(gone.file);
  FileIdentity now;
  ASSERT_TRUE(gone.file->Identity(&now).ok());
  EXPECT_EQ(now.links, 0u);
  EXPECT_TRUE(FlushFolder(dir.path() + L"\\"));
  EXPECT_FALSE(FlushFolder(dir / L"missing\\"));
}

TEST(Win32JobFiles, TheInputIsDeletedOnlyWhenItHasNoOtherName) {
  EphemeralContext ctx;
  TestFolder dir;
  Win32FileSystem fs;
  const auto encrypt = [&](const std::wstring& path) {
    FileJobRequest request;
    request.inputPath = path;
    return RunFileJob(fs, request, {}, [&](StreamFiles& files, const std::wstring&, const JobControl& control) {
      return EncryptFileWithProvider(ctx.id(), files, path, SecretBytes::FromText("secret"), control);
    });
  };
  WriteBytes(dir / L"a", PrintableBytes(3000));
  ASSERT_TRUE(CreateHardLinkW((dir / L"b").c_str(), (dir / L"a").c_str(), nullptr));
  const FileJobResult linked = encrypt(dir / L"a");
  EXPECT_EQ(linked.outcome, Outcome::Success);
  EXPECT_EQ(linked.kept, KeptReason::OtherNames);
  EXPECT_EQ(ReadBytes(dir / L"a"), PrintableBytes(3000));
  EXPECT_EQ(ReadBytes(dir / L"b"), PrintableBytes(3000));

  ASSERT_TRUE(DeleteFileW((dir / L"b").c_str()));
  ASSERT_TRUE(DeleteFileW((dir / L"a.zrv").c_str()));
  const FileJobResult alone = encrypt(dir / L"a");
  EXPECT_EQ(alone.outcome, Outcome::Success);
  EXPECT_EQ(alone.kept, KeptReason::None);
  EXPECT_EQ(dir.Names(), std::vector<std::wstring>{L"a.zrv"});
  EXPECT_EQ(Decrypt(ctx, dir / L"a.zrv", "secret"), Outcome::Success);
  EXPECT_EQ(ReadBytes(dir / L"a"), PrintableBytes(3000));
}

}  // namespace
}  // namespace ferrune::testing
