#include "pass_clock.h"

#include <gtest/gtest.h>

#include <thread>

namespace vexa {
namespace {

// Each reading is one later than the one before.
struct CountingClock final : UnitClock {
  int64_t readings = 1000;
  int64_t nowMs() override { return ++readings; }
};

TEST(PassClock, HoldsOneReadingPerPassAndPerRunOfRequestsForItsThreadOnly) {
  CountingClock base;
  PassClock clock(base);
  EXPECT_EQ(clock.nowMs(), 1001);  // nothing held: the base each time
  EXPECT_EQ(clock.nowMs(), 1002);
  for (int i = 0; i < PassClock::kRequestsPerReading; ++i) {
    clock.holdFor(7);
    EXPECT_EQ(clock.nowMs(), 1003) << i;
    EXPECT_EQ(clock.nowMs(), 1003) << i;
  }
  clock.holdFor(7);  // one request more than a reading serves
  EXPECT_EQ(clock.nowMs(), 1004);
  clock.holdFor(8);  // the next pass
  EXPECT_EQ(clock.nowMs(), 1005);
  int64_t elsewhere = 0;
  std::thread([&] { elsewhere = clock.nowMs(); }).join();
  EXPECT_EQ(elsewhere, 1006);
  EXPECT_EQ(clock.nowMs(), 1005);
  clock.release();
  EXPECT_EQ(clock.nowMs(), 1007);
  clock.holdFor(8);  // the same pass after a release: still its reading
  EXPECT_EQ(clock.nowMs(), 1005);
}

}  // namespace
}  // namespace vexa
