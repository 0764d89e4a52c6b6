// The file job's guards over real streaming on files in memory: a taken
// input, an output that may not be replaced or that appears meanwhile, and
// an input that changed or has other names.
#include <gtest/gtest.h>

#include "core/file_job.h"
#include "core/stream_crypt.h"
#include "tests/core/fake_provider.h"
#include "tests/core/memory_file_system.h"

namespace ferrune::testing {
namespace {

const std::wstring kIn = L"dir\\a";
const std::wstring kOut = L"dir\\a.zrv";

class FileJobGuard : public ::testing::Test {
 protected:
  // Encrypts kIn; `during` runs inside the operation before the streaming,
  // `after` once the output is in place.
  FileJobResult Encrypt(bool replace, std::function<void()> during = {}, std::function<void()> after = {}) {
    FileJobRequest request;
    request.inputPath = kIn;
    request.replaceOutput = replace;
    ran_ = false;
    return RunFileJob(fs_, request, {}, [&](StreamFiles& files, const std::wstring& output, const JobControl& control) {
      ran_ = true;
      if (during) during();
      const Outcome outcome = EncryptStream(provider_, files, kIn, output, password_, control, {64});
      if (after) after();
      return outcome;
    });
  }
  Bytes Plain() const { return fs_.Get(kIn).value_or(Bytes{}); }

  FakeProvider provider_;
  MemoryFileSystem fs_;
  SecretBytes password_ = SecretBytes::FromText("secret");
  bool ran_ = false;
};

TEST_F(FileJobGuard, AFileAnotherJobHasIsRefusedAtOnceAndNothingIsWritten) {
  fs_.Put(kIn, Bytes(300, 7));
  fs_.heldElsewhere = {kIn};
  const FileJobResult refused = Encrypt(false);
  EXPECT_EQ(refused.outcome, Outcome::InUse);
  EXPECT_EQ(OutcomeText(refused, JobKind::Encrypt), L"The file is in use by another program");
  EXPECT_FALSE(ran_);
  EXPECT_EQ(fs_.Names(), std::vector<std::wstring>{kIn});
  EXPECT_EQ(fs_.tempsCreated, 0);

  // Within one process too: the job's own hold keeps a second job out.
  fs_.heldElsewhere.clear();
  FileJobResult inner;
  const FileJobResult outer = Encrypt(false, [&] {
    FileJobRequest again;
    again.inputPath = kIn;
    inner = RunFileJob(fs_, again, {},
                       [](StreamFiles&, const std::wstring&, const JobControl&) { return Outcome::Success; });
  });
  EXPECT_EQ(inner.outcome, Outcome::InUse);
  EXPECT_EQ(outer.outcome, Outcome::Success);
  EXPECT_EQ(fs_.Names(), std::vector<std::wstring>{kOut});
  EXPECT_EQ(fs_.leftoversSwept, std::vector<std::wstring>{kOut});
}

TEST_F(FileJobGuard, AnOutputIsReplacedOnlyWhenAskedAndNeverWhenItAppearsMeanwhile) {
  const Bytes old = {1, 2, 3};
  fs_.Put(kIn, Bytes(300, 7));
  fs_.Put(kOut, old);
  EXPECT_EQ(Encrypt(false).outcome, Outcome::OutputExists);
  EXPECT_FALSE(ran_);
  EXPECT_EQ(fs_.Get(kOut), old);
  // Asked, but another job has the file: nothing is replaced.
  fs_.heldElsewhere = {kOut};
  EXPECT_EQ(Encrypt(true).outcome, Outcome::CannotWrite);
  EXPECT_EQ(fs_.Get(kOut), old);
  fs_.heldElsewhere.clear();
  // A folder is never asked about.
  fs_.folders = {L"dir\\b.zrv"};
  FileJobRequest folder;
  folder.inputPath = L"dir\\b";
  fs_.Put(L"dir\\b", {9});
  EXPECT_EQ(
      RunFileJob(fs_, folder, {}, [](StreamFiles&, const std::wstring&, const JobControl&) { return Outcome::Success; })
          .outcome,
      Outcome::CannotWrite);
  fs_.Remove(L"dir\\b");
  fs_.folders.clear();

  ASSERT_EQ(Encrypt(true).outcome, Outcome::Success);
  EXPECT_NE(fs_.Get(kOut), old);
  EXPECT_FALSE(fs_.Get(kIn));

  // Nothing stood there at the start: what appears is kept, and so is the input.
  fs_.Put(kIn, Bytes(300, 8));
  fs_.Remove(kOut);
  const FileJobResult appeared = Encrypt(true, [&] { fs_.Put(kOut, old); });
  EXPECT_EQ(appeared.outcome, Outcome::OutputChanged);
  EXPECT_EQ(fs_.Get(kOut), old);
  EXPECT_EQ(Plain(), Bytes(300, 8));
  EXPECT_EQ(fs_.Names(), (std::vector<std::wstring>{kIn, kOut}));
}

TEST_F(FileJobGuard, TheInputGoesOnlyWhileItIsTheFileThatWasReadUnderItsOnlyName) {
  struct Case {
    const char* what;
    std::function<void()> before, during;
    KeptReason kept;
    const wchar_t* why;
    std::function<void()> after = {};
  } cases[] = {
      {"changed while read",
       {},
       [&] { fs_.Put(kIn, Bytes(300, 7)); },
       KeptReason::Changed,
       L"the file changed while it was read"},
      {"hard link", [&] { fs_.links[kIn] = 2; }, {}, KeptReason::OtherNames, L"other names lead to the same data"},
      {"symbolic link",
       [&] { fs_.symbolicLinks = {kIn}; },
       {},
       KeptReason::OtherNames,
       L"other names lead to the same data"},
      // Its content lived only in the output, which another program replaced.
      {"output saved over",
       {},
       {},
       KeptReason::OutputGone,
       L"the output file was replaced before the original could go",
       [&] { fs_.Put(kOut, Bytes{1}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs_.Reset();
    fs_.Put(kIn, Bytes(300, 7));
    if (c.before) c.before();
    const FileJobResult result = Encrypt(false, c.during, c.after);
    EXPECT_EQ(result.outcome, Outcome::Success);
    EXPECT_NE(result.kept, KeptReason::None);
    EXPECT_EQ(result.kept, c.kept);
    EXPECT_EQ(KeptReasonText(result.kept), c.why);
    EXPECT_EQ(OutcomeText(result, JobKind::Encrypt), L"Encryption completed\nThe original file was kept");
    EXPECT_EQ(Plain(), Bytes(300, 7));
    EXPECT_TRUE(fs_.Get(kOut));
  }
}

// Yes was said to one file under the output name; another there at the
// start is not replaced. A name of ours is never an output.
TEST_F(FileJobGuard, OnlyTheFileAskedAboutIsReplacedAndOurNamesAreNoOutputs) {
  fs_.Put(kIn, Bytes(300, 7));
  fs_.Put(kOut, {1});
  FileIdentity asked;
  ASSERT_TRUE(fs_.Identify(kOut, &asked).ok());
  fs_.Put(kOut, {2});
  FileJobRequest request;
  request.inputPath = kIn;
  request.replaceOutput = true;
  request.replaceOnly = asked;
  const auto run = [&] {
    return RunFileJob(fs_, request, {}, [&](StreamFiles& files, const std::wstring& output, const JobControl& control) {
      return EncryptStream(provider_, files, kIn, output, password_, control, {64});
    });
  };
  EXPECT_EQ(run().outcome, Outcome::OutputChanged);
  EXPECT_EQ(fs_.Get(kOut), Bytes{2});
  ASSERT_TRUE(fs_.Identify(kOut, &asked).ok());
  request.replaceOnly = asked;
  EXPECT_EQ(run().outcome, Outcome::Success);
  EXPECT_EQ(fs_.Names(), std::vector<std::wstring>{kOut});

  for (const std::wstring name : {L"dir\\.ferrune-12-0123abcd.tmp", L"dir\\.ferrune-r-0123456789abcdef-a.txt"}) {
    fs_.Put(name + L".zrv", Bytes(40, 1));
    request.inputPath = name + L".zrv";
    request.kind = JobKind::Decrypt;
    EXPECT_EQ(RunFileJob(fs_, request, {},
                         [](StreamFiles&, const std::wstring&, const JobControl&) { return Outcome::Success; })
                  .outcome,
              Outcome::ReservedName);
    EXPECT_TRUE(fs_.Get(name + L".zrv"));
  }
}

// Whichever operation of the files fails, its code and name reach the job's
// result and the system's words for it end the tool's line.
TEST_F(FileJobGuard, EveryFailureEndsTheToolsLineWithTheSystemsReason) {
  struct Row {
    FileOp op;
    void (*fault)(MemoryFileSystem& fs);
    std::wstring line;  // %1: the system's words
  } const rows[] = {
      {FileOp::Open, [](MemoryFileSystem& fs) { fs.locked = {kOut}; }, L"Cannot read the file: %1"},
      {FileOp::Read, [](MemoryFileSystem& fs) { fs.failInputReadAt = 100; }, L"Cannot read the file: %1"},
      {FileOp::ReadPastCache, [](MemoryFileSystem& fs) { fs.failPastCache = true; }, L"Cannot read the file: %1"},
      {FileOp::Create, [](MemoryFileSystem& fs) { fs.failCreate = true; }, L"Cannot write the output file: %1"},
      {FileOp::Write, [](MemoryFileSystem& fs) { fs.failWriteAt = 3; }, L"Cannot write the output file: %1"},
      {FileOp::Flush, [](MemoryFileSystem& fs) { fs.failFlushAfter = 0; }, L"Cannot write the output file: %1"},
      {FileOp::Stamp, [](MemoryFileSystem& fs) { fs.failStamp = true; }, L"Cannot write the output file: %1"},
      {FileOp::Commit, [](MemoryFileSystem& fs) { fs.failCommit = true; }, L"Cannot write the output file: %1"},
      {FileOp::Identify, [](MemoryFileSystem& fs) { fs.failKind = true; }, L"Cannot write the output file: %1"},
      {FileOp::Hold, [](MemoryFileSystem& fs) { fs.Put(kIn, {1}), fs.failHold = true; },
       L"Cannot write the output file: %1"},
      {FileOp::Flush, [](MemoryFileSystem& fs) { fs.failFolderSync = true; },
       L"The output file was written, but the disk reported an error: %1. The original file was kept"},
      {FileOp::Delete, [](MemoryFileSystem& fs) { fs.failRemove = true; },
       L"Decryption completed. The original file was kept: the system did not let it be deleted: %1"},
  };
  fs_.Put(kIn, Bytes(3000, 7));
  ASSERT_EQ(Encrypt(false).outcome, Outcome::Success);
  const Bytes encrypted = *fs_.Get(kOut);
  const auto words = [](const FileError& error) { return L"error " + std::to_wstring(error.code); };
  const auto decrypt = [&] {
    FileJobRequest request;
    request.kind = JobKind::Decrypt;
    request.inputPath = kOut;
    request.replaceOutput = true;
    return RunFileJob(fs_, request, {}, [&](StreamFiles& files, const std::wstring& output, const JobControl& control) {
      return DecryptStream(provider_, files, kOut, output, password_, control, {64});
    });
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(FileOpName(row.op));
    fs_.Reset();
    fs_.Put(kOut, encrypted);
    fs_.faultCode = 28;
    row.fault(fs_);
    const FileJobResult result = decrypt();
    EXPECT_EQ(result.cause, FileError::Posix(28, row.op));
    std::wstring line = row.line;
    line.replace(line.find(L"%1"), 2, L"error 28");
    EXPECT_EQ(OutcomeLine(result, JobKind::Decrypt, words), line);
  }
  // In use: who holds it, where the system tells.
  fs_.Reset();
  fs_.Put(kOut, encrypted);
  fs_.heldElsewhere = {kOut};
  fs_.holders = {L"Microsoft Word"};
  EXPECT_EQ(OutcomeLine(decrypt(), JobKind::Decrypt, words), L"The file is in use by another program (Microsoft Word)");
}

TEST(ReplaceQuestion, NamesTheFileWithoutItsFolder) {
  EXPECT_EQ(ReplaceQuestion(L"C:\\Docs\\report.txt"),
            L"The file report.txt already exists.\n\rDo you want to replace it?");
  EXPECT_EQ(ReplaceQuestion(L"/home/u/a.zrv"), L"The file a.zrv already exists.\n\rDo you want to replace it?");
}

}  // namespace
}  // namespace ferrune::testing
