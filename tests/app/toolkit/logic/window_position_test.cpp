#include "app/toolkit/logic/window_position.h"

#include <gtest/gtest.h>

namespace ferrune {
namespace {

constexpr ScreenRect kScreen{0, 0, 1920, 1080};
constexpr int kWidth = 216, kHeight = 178;
// Centred on the whole screen.
constexpr int kCentreX = 852, kCentreY = 451;

TEST(InitialWindowPosition, CentresOnTheMonitorAndMovesOnlyAsFarAsTheWorkAreaNeeds) {
  struct Case {
    const char* name;
    ScreenRect work;
    int x, y;
  } cases[] = {
      {"whole screen", kScreen, kCentreX, kCentreY},
      // An ordinary taskbar on any side leaves the centred frame alone: the
      // monitor's centre, not the work area's.
      {"taskbar left", {60, 0, 1920, 1080}, kCentreX, kCentreY},
      {"taskbar top", {0, 40, 1920, 1080}, kCentreX, kCentreY},
      {"taskbar right", {0, 0, 1860, 1080}, kCentreX, kCentreY},
      {"taskbar bottom", {0, 0, 1920, 1040}, kCentreX, kCentreY},
      // A bar that would cover the centred frame pushes it just clear.
      {"wide bar left", {1000, 0, 1920, 1080}, 1000, kCentreY},
      {"tall bar top", {0, 700, 1920, 1080}, kCentreX, 700},
      {"wide bar right", {0, 0, 900, 1080}, 900 - kWidth, kCentreY},
      {"tall bar bottom", {0, 0, 1920, 500}, kCentreX, 500 - kHeight},
      {"bars on all sides", {1000, 700, 1500, 1000}, 1000, 700},
      // Too small for the frame: the top-left corner stays inside.
      {"work area smaller than the frame", {100, 100, 300, 200}, 100, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScreenPoint at = InitialWindowPosition(kWidth, kHeight, kScreen, c.work);
    EXPECT_EQ(at.x, c.x);
    EXPECT_EQ(at.y, c.y);
  }
}

}  // namespace
}  // namespace ferrune
