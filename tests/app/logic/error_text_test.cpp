#include "error_text.h"

#include <gtest/gtest.h>

#include "outcome_text.h"

namespace ferrune {
namespace {

TEST(FullStopRule, AddsOneOnlyAfterACharacterAboveTheFullStop) {
  EXPECT_EQ(WithFullStop(L"Failed to set data for ''"), L"Failed to set data for ''");  // ' is below '.'
  EXPECT_EQ(WithFullStop(L"Thread Error: Access denied (5)"), L"Thread Error: Access denied (5)");
  EXPECT_EQ(WithFullStop(L"Out of memory"), L"Out of memory.");
  EXPECT_EQ(WithFullStop(L"Done."), L"Done.");
  EXPECT_EQ(WithFullStop(L"path/"), L"path/.");  // '/' lies just above '.'
  EXPECT_EQ(WithFullStop(L"dash-"), L"dash-");   // '-' lies just below
  EXPECT_EQ(WithFullStop(L""), L"");
}

TEST(Utf8, RoundTripsEveryPlane) {
  const std::wstring text = L"a\u00e9\u0416\u65e5\U0001F600z";
  EXPECT_EQ(Utf8FromWide(text), "a\xc3\xa9\xd0\x96\xe6\x97\xa5\xf0\x9f\x98\x80z");
  EXPECT_EQ(WideFromUtf8(Utf8FromWide(text)), text);
}

TEST(OutcomeText, NamesWhatHappenedWithoutBlamingThePassword) {
  EXPECT_EQ(OutcomeText(Outcome::Success, true, false), L"Encryption completed");
  EXPECT_EQ(OutcomeText(Outcome::Success, false, true), L"Decryption completed\nThe original file was kept");
  EXPECT_EQ(OutcomeText(Outcome::WrongPassword, false, false), L"Invalid password!");
  EXPECT_EQ(OutcomeText(Outcome::Damaged, false, false), L"The file is damaged");
  EXPECT_EQ(OutcomeText(Outcome::CannotRead, true, false), L"Cannot read the file");
  EXPECT_EQ(OutcomeText(Outcome::CannotWrite, false, false), L"Cannot write the output file");
  EXPECT_EQ(OutcomeText(Outcome::Failed, true, false), L"Encryption failed");
  EXPECT_EQ(OutcomeText(Outcome::Cancelled, false, false), L"Decryption failed");
}

}  // namespace
}  // namespace ferrune
