// The owner template: a kind's own none, and a close that reports.
#include "core/unique_any.h"

#include <gtest/gtest.h>

#include <vector>

namespace ferrune {
namespace {

std::vector<int> closed;

// Like close(): zero names a descriptor, and a close may fail.
struct FailingClose {
  bool operator()(int fd) const {
    closed.push_back(fd);
    return fd != 0;
  }
};
using Descriptor = UniqueAny<int, FailingClose, NoneIs<int, -1>>;

TEST(UniqueAny, ZeroCanBeAHandleAndACloseReportsItsFailure) {
  closed.clear();
  Descriptor zero(0);
  EXPECT_TRUE(zero);
  EXPECT_FALSE(zero.Close());
  EXPECT_FALSE(zero);
  EXPECT_TRUE(zero.Close()) << "nothing left to close";
  {
    Descriptor moved(Descriptor(7));
    Descriptor none;
    EXPECT_FALSE(none);
  }
  EXPECT_EQ(closed, (std::vector<int>{0, 7}));
}

}  // namespace
}  // namespace ferrune
