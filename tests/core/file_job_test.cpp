#include "core/file_job.h"

#include <gtest/gtest.h>

#include "core/password_rules.h"
#include "core/progress_throttle.h"
#include "core/utf.h"
#include "tests/core/memory_file_system.h"

namespace ferrune {
namespace {

using testing::MemoryFileSystem;

// The job over a test's operation on a plain input "a" (output "a.zrv").
FileJobResult Job(MemoryFileSystem& files, const std::wstring& input, bool keep, std::function<Outcome()> operation) {
  FileJobRequest request;
  request.inputPath = input;
  request.keepInput = keep;
  // A success puts an (empty) output in place, as a real one does.
  return RunFileJob(files, request, {}, [&](StreamFiles& job, const std::wstring& output, const JobControl&) {
    const Outcome outcome = operation();
    std::unique_ptr<TempFile> temp = outcome == Outcome::Success ? std::move(job.CreateTemp(output).file) : nullptr;
    return temp ? temp->Commit(output, Replacing::Nothing()).outcome : outcome;
  });
}

TEST(FileJob, DeletesTheInputOnlyAfterSuccessAndSaysWhenItStays) {
  MemoryFileSystem files;
  files.Put(L"a", {1});
  EXPECT_EQ(Job(files, L"a", false, [] { return Outcome::WrongPassword; }).outcome, Outcome::WrongPassword);
  ASSERT_TRUE(files.Get(L"a"));

  FileJobResult kept = Job(files, L"a", true, [] { return Outcome::Success; });
  EXPECT_EQ(kept.kept, KeptReason::None);
  ASSERT_TRUE(files.Get(L"a"));
  files.Remove(L"a.zrv");

  files.failRemove = true;
  EXPECT_EQ(Job(files, L"a", false, [] { return Outcome::Success; }).kept, KeptReason::NotRemoved);
  files.failRemove = false;
  files.Remove(L"a.zrv");
  const FileJobResult done = Job(files, L"a", false, [] { return Outcome::Success; });
  EXPECT_EQ(done.outcome, Outcome::Success);
  EXPECT_EQ(done.kept, KeptReason::None);
  EXPECT_FALSE(files.Get(L"a"));

  // Removed by another program during the job: nothing is said to be kept.
  files.Remove(L"a.zrv");
  files.Put(L"a", {1});
  const FileJobResult gone =
      Job(files, L"a", false, [&] { return files.Remove(L"a") ? Outcome::Success : Outcome::Failed; });
  EXPECT_EQ(OutcomeText(gone, JobKind::Encrypt), L"Encryption completed");
  files.Remove(L"a.zrv");

  // An escaping exception is a failure, never a crash or a delete.
  files.Put(L"b", {2});
  EXPECT_EQ(Job(files, L"b", false, []() -> Outcome { throw 1; }).outcome, Outcome::Failed);
  EXPECT_TRUE(files.Get(L"b"));
}

// Each row once: the window's and the tool's words, without blaming the
// password for what it did not do, and the tool's exit status.
TEST(FileJob, EachOutcomeHasItsNameItsTextsAndItsExitStatus) {
  struct Row {
    Outcome outcome;
    std::string_view name;
    std::wstring_view encrypted, decrypted;
    int exitCode;
  } const rows[] = {
      {Outcome::Success, "Success", L"Encryption completed", L"Decryption completed", 0},
      {Outcome::WrongPassword, "WrongPassword", L"Invalid password!", L"Invalid password!", 1},
      {Outcome::Damaged, "Damaged", L"The file is damaged", L"The file is damaged", 3},
      {Outcome::CannotRead, "CannotRead", L"Cannot read the file", L"Cannot read the file", 4},
      {Outcome::CannotWrite, "CannotWrite", L"Cannot write the output file", L"Cannot write the output file", 5},
      {Outcome::InUse, "InUse", L"The file is in use by another program", L"The file is in use by another program", 4},
      {Outcome::OutputExists, "OutputExists", L"The output file already exists", L"The output file already exists", 5},
      {Outcome::OutputChanged, "OutputChanged", L"The output file changed during the work",
       L"The output file changed during the work", 5},
      // The input always stays then.
      {Outcome::NotDurable, "NotDurable",
       L"The output file was written, but the disk reported an error\nThe original file was kept",
       L"The output file was written, but the disk reported an error\nThe original file was kept", 5},
      {Outcome::ReservedName, "ReservedName", L"The output file name is kept for Ferrune's temporary files",
       L"The output file name is kept for Ferrune's temporary files", 5},
      {Outcome::Cancelled, "Cancelled", L"Encryption failed", L"Decryption failed", 6},
      {Outcome::Failed, "Failed", L"Encryption failed", L"Decryption failed", 6},
  };
  ASSERT_EQ(OutcomeRows().size(), std::size(rows));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(OutcomeName(row.outcome), row.name);
    EXPECT_EQ(OutcomeText({row.outcome}, JobKind::Encrypt), row.encrypted);
    EXPECT_EQ(OutcomeText({row.outcome}, JobKind::Decrypt), row.decrypted);
    EXPECT_EQ(RowOf(row.outcome).exitCode, row.exitCode);
    EXPECT_FALSE(std::string_view(RowOf(row.outcome).exitMeaning).empty());
  }
  EXPECT_EQ(OutcomeText({Outcome::Success, KeptReason::NotRemoved}, JobKind::Decrypt),
            L"Decryption completed\nThe original file was kept");
  EXPECT_EQ(OutcomeText({Outcome::Success, KeptReason::NotRemoved}, JobKind::Encrypt, L". "),
            L"Encryption completed. The original file was kept");
}

TEST(PasswordRules, EmptyThenDifferentThenTheShortQuestion) {
  const auto check = [](std::wstring_view a, std::wstring_view b) {
    return CheckNewPassword(std::span(a.data(), a.size()), std::span(b.data(), b.size()));
  };
  EXPECT_EQ(check(L"", L""), PasswordCheck::Empty);
  EXPECT_EQ(check(L"", L"x"), PasswordCheck::Different);
  EXPECT_EQ(check(L"abc", L"abd"), PasswordCheck::Different);
  EXPECT_EQ(check(L"abc", L"abc"), PasswordCheck::Ok);
  EXPECT_TRUE(NeedsShortPasswordQuestion(5));
  EXPECT_FALSE(NeedsShortPasswordQuestion(6));
}

TEST(ProgressThrottle, LargeFilesOnlyTenTimesASecondAndAlwaysTheEnd) {
  using namespace std::chrono_literals;
  const auto t0 = ProgressThrottle::Clock::time_point{} + 1h;
  const std::uint64_t big = ProgressThrottle::kFromSize;
  ProgressThrottle small;
  EXPECT_FALSE(small.Due(big - 1, big - 1, t0));
  ProgressThrottle p;
  EXPECT_TRUE(p.Due(1, big, t0));
  EXPECT_FALSE(p.Due(2, big, t0 + 99ms));
  EXPECT_TRUE(p.Due(3, big, t0 + 100ms));
  EXPECT_TRUE(p.Due(big, big, t0 + 101ms));
}

TEST(Utf, RoundTripsEveryPlaneAndReplacesWhatIsNotText) {
  const std::wstring text = L"a\u00e9\u0416\u65e5\U0001F600z";
  EXPECT_EQ(Utf8FromWide(text), "a\xc3\xa9\xd0\x96\xe6\x97\xa5\xf0\x9f\x98\x80z");
  EXPECT_EQ(WideFromUtf8(Utf8FromWide(text)), text);
  EXPECT_EQ(WideFromUtf8("a\xff"
                         "b"),
            L"a\uFFFDb");
  const std::uint8_t overlong[] = {0xC0, 0x80};
  EXPECT_FALSE(DecodeUtf8(overlong, sizeof overlong));
}

}  // namespace
}  // namespace ferrune
