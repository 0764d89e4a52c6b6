#include "app/toolkit/logic/error_text.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ferrune
