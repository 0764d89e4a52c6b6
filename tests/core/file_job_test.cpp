#include "core/file_job.h"

#include <gtest/gtest.h>

#include "core/password_rules.h"
#include "core/progress_throttle.h"
#include "core/utf.h"
#include "tests/core/memory_file_system.h"

namespace ferrune {
namespace {

using testing::MemoryFileSystem;

TEST(EncryptedName, ExactForTheWindowAndAnyCaseForTheTool) {
  EXPECT_TRUE(IsEncryptedName(L"C:\\Docs\\a.zrv", NameCase::Exact));
  EXPECT_FALSE(IsEncryptedName(L"C:\\Docs\\a.ZRV", NameCase::Exact));
  EXPECT_TRUE(IsEncryptedName(L"C:\\Docs\\a.ZrV", NameCase::AnyCase));
  // The extension is what follows the last dot of the last name only.
  EXPECT_FALSE(IsEncryptedName(L"C:\\x.zrv\\a", NameCase::AnyCase));
  EXPECT_FALSE(IsEncryptedName(L"a.zrv.bak", NameCase::AnyCase));
}

// The job over a test's operation on a plain input "a" (output "a.zrv").
FileJobResult Job(MemoryFileSystem& files, const std::wstring& input, bool keep, std::function<Outcome()> operation) {
  FileJobRequest request;
  request.inputPath = input;
  request.keepInput = keep;
  return RunFileJob(files, request, {},
                    [&](StreamFiles&, const std::wstring&, const JobControl&) { return operation(); });
}

TEST(FileJob, DeletesTheInputOnlyAfterSuccessAndSaysWhenItStays) {
  MemoryFileSystem files;
  files.Put(L"a", {1});
  EXPECT_EQ(Job(files, L"a", false, [] { return Outcome::WrongPassword; }).outcome, Outcome::WrongPassword);
  ASSERT_TRUE(files.Get(L"a"));

  FileJobResult kept = Job(files, L"a", true, [] { return Outcome::Success; });
  EXPECT_FALSE(kept.inputKept);
  ASSERT_TRUE(files.Get(L"a"));

  files.failRemove = true;
  EXPECT_TRUE(Job(files, L"a", false, [] { return Outcome::Success; }).inputKept);
  files.failRemove = false;
  const FileJobResult done = Job(files, L"a", false, [] { return Outcome::Success; });
  EXPECT_EQ(done.outcome, Outcome::Success);
  EXPECT_FALSE(done.inputKept);
  EXPECT_FALSE(files.Get(L"a"));

  // An escaping exception is a failure, never a crash or a delete.
  files.Put(L"b", {2});
  EXPECT_EQ(Job(files, L"b", false, []() -> Outcome { throw 1; }).outcome, Outcome::Failed);
  EXPECT_TRUE(files.Get(L"b"));
}

TEST(FileJob, OutcomeTextNamesWhatHappenedWithoutBlamingThePassword) {
  const auto text = [](Outcome o, JobKind kind, bool kept = false) { return OutcomeText({o, kept}, kind); };
  EXPECT_EQ(text(Outcome::Success, JobKind::Encrypt), L"Encryption completed");
  EXPECT_EQ(text(Outcome::Success, JobKind::Decrypt, true), L"Decryption completed\nThe original file was kept");
  EXPECT_EQ(OutcomeText({Outcome::Success, true}, JobKind::Encrypt, L". "),
            L"Encryption completed. The original file was kept");
  EXPECT_EQ(text(Outcome::WrongPassword, JobKind::Decrypt), L"Invalid password!");
  EXPECT_EQ(text(Outcome::Damaged, JobKind::Decrypt), L"The file is damaged");
  EXPECT_EQ(text(Outcome::CannotRead, JobKind::Encrypt), L"Cannot read the file");
  EXPECT_EQ(text(Outcome::CannotWrite, JobKind::Decrypt), L"Cannot write the output file");
  EXPECT_EQ(text(Outcome::Failed, JobKind::Encrypt), L"Encryption failed");
  EXPECT_EQ(text(Outcome::Cancelled, JobKind::Decrypt), L"Decryption failed");
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
