#include "app/toolkit/logic/window_position.h"

namespace ferrune {
namespace {

// Centred in [monitorLow, monitorHigh), then shifted into [workLow, workHigh).
int Place(int size, int monitorLow, int monitorHigh, int workLow, int workHigh) {
  int low = monitorLow + (monitorHigh - monitorLow - size) / 2;
  if (low + size > workHigh) low = workHigh - size;
  if (low < workLow) low = workLow;
  return low;
}

}  // namespace

ScreenPoint InitialWindowPosition(int width, int height, const ScreenRect& monitor, const ScreenRect& work) {
  return {Place(width, monitor.left, monitor.right, work.left, work.right),
          Place(height, monitor.top, monitor.bottom, work.top, work.bottom)};
}

}  // namespace ferrune
