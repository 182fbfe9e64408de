#include "timed_event.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

TimedEvent periodic(double at, double every, double until, double jitter, double duration) {
  TimedEvent e;
  e.schedule.at = at;
  e.schedule.every = every;
  e.schedule.until = until;
  e.schedule.jitter = jitter;
  e.duration = duration;
  return e;
}

TEST(TimedEvent, ListedTimesThenNever) {
  TimedEvent e;
  e.schedule.times = {5, 7.5, 100};
  const double expected[] = {5, 7.5, 100, kNever, kNever};
  for (uint64_t k = 0; k < 5; ++k) EXPECT_EQ(occurrenceTime(e, 1, 16, k), expected[k]) << k;
  for (uint64_t n = 0; n < 5; ++n) EXPECT_EQ(stepTime(e, 1, 16, n), expected[n]) << n;
}

TEST(TimedEvent, DurationGivesABeginAndAnEndStep) {
  TimedEvent e = periodic(300, 600, kNever, 0, 30);  // off at 300 for 30 s every 10 minutes
  const double expected[] = {300, 330, 900, 930, 1500, 1530};
  for (uint64_t n = 0; n < 6; ++n) EXPECT_EQ(stepTime(e, 1, 16, n), expected[n]) << n;
}

TEST(TimedEvent, PeriodicStopsBeforeUntil) {
  TimedEvent e = periodic(0, 10, 30, 0, 0);
  const double expected[] = {0, 10, 20, kNever, kNever};
  for (uint64_t k = 0; k < 5; ++k) EXPECT_EQ(occurrenceTime(e, 1, 16, k), expected[k]) << k;
}

TEST(TimedEvent, JitterDelaysEachOccurrenceWithinItsBoundAndRepeats) {
  TimedEvent e = periodic(0, 10, kNever, 4, 0);
  bool someLate = false;
  for (uint64_t k = 0; k < 1000; ++k) {
    const double t = occurrenceTime(e, 42, 17, k);
    const double base = 10.0 * static_cast<double>(k);
    ASSERT_GE(t, base);
    ASSERT_LT(t, base + 4);
    someLate = someLate || t > base + 3;
  }
  EXPECT_TRUE(someLate);
  // The same question, the same answer, on every run: the times the generator gives today.
  EXPECT_DOUBLE_EQ(occurrenceTime(e, 42, 17, 1), 11.509502658200709);
  EXPECT_DOUBLE_EQ(occurrenceTime(e, 42, 17, 999), 9990.4565855533619);
  EXPECT_NE(occurrenceTime(e, 42, 17, 3), occurrenceTime(e, 43, 17, 3));
  EXPECT_NE(occurrenceTime(e, 42, 17, 3), occurrenceTime(e, 42, 18, 3));
}

TEST(TimedEvent, FirstOccurrenceFromATime) {
  const TimedEvent e = periodic(5, 10, kNever, 0, 0);  // 5, 15, 25, ...
  const struct {
    double t;
    uint64_t k;
  } table[] = {{0, 0}, {5, 0}, {5.001, 1}, {15, 1}, {16, 2}, {1000, 100}, {1005, 100}, {1006, 101}};
  for (const auto& row : table) EXPECT_EQ(firstOccurrenceFrom(e, 1, 16, row.t), row.k) << row.t;

  TimedEvent jittered = periodic(0, 10, kNever, 9, 0);
  for (double t : {0.0, 3.0, 47.5, 1234.5}) {
    const uint64_t k = firstOccurrenceFrom(jittered, 8, 16, t);
    EXPECT_GE(occurrenceTime(jittered, 8, 16, k), t);
    if (k > 0) {
      EXPECT_LT(occurrenceTime(jittered, 8, 16, k - 1), t);
    }
  }

  TimedEvent listed;
  listed.schedule.times = {1, 2, 3};
  EXPECT_EQ(firstOccurrenceFrom(listed, 1, 16, 2), 1u);
  EXPECT_EQ(firstOccurrenceFrom(listed, 1, 16, 4), 3u);  // past the last: none left
}

}  // namespace
}  // namespace vexa
