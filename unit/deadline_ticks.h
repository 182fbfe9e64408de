#pragma once

#include <cstdint>

#include "clock.h"
#include "device_state.h"

namespace vexa {

// The unit's three periodic ticks as deadlines instead of timers. The reset tick is due every
// 10 ms, the flags step every 100 ms and the measurement tick every 2000 ms, all counted from
// the moment `start` was given. Nothing runs by itself: whoever looks at the state (a reply, a
// status read, a save, a display refresh) first calls `advance` with the current time, which
// runs every tick due by then that has not run yet, in time order, so the state is exactly
// what a unit whose timers fired on those instants would hold. Ticks due at the same instant
// run reset, then flags, then measurement, and all of them before an action taken at that
// instant.
//
// Catching up is cheap however long the unit sat idle: the reset countdown is lowered by the
// number of missed ticks at once, only the last flags step before a moment matters, and only
// the last measurement tick unless auto mode draws random levels on each (three draws per
// 2 s missed, in order).
//
// Not thread-safe on its own: the caller holds the device lock around `advance` and any change
// it makes after it.
class DeadlineTicks {
 public:
  static constexpr int64_t kResetMs = 10;
  static constexpr int64_t kFlagsMs = 100;
  static constexpr int64_t kMeasureMs = 2000;

  // The ticks count from `originMs`; the first of each series is due one period later.
  void start(int64_t originMs);
  bool started() const { return started_; }

  // Runs every tick due at or before `nowMs`. Time never runs backwards: an earlier `nowMs`
  // than one already seen does nothing.
  void advance(DeviceData& d, int64_t nowMs, RandomSource& random);

  // Levels (bit L for level L) that the measurement tick's auto draw leaves alone: a scenario
  // drives them.
  void setHeldLevels(unsigned mask) { heldLevels_ = mask; }
  unsigned heldLevels() const { return heldLevels_; }

  // The next instant at which a tick would change what the unit reports, for a display that
  // wants to refresh then; -1 before `start`.
  int64_t nextFlagsDue() const;

 private:
  void resetTo(DeviceData& d, int64_t tick);
  void flagsTo(DeviceData& d, int64_t tick);

  bool started_ = false;
  int64_t origin_ = 0;
  // Ticks of each series already run (the k-th is due at origin + k x period).
  int64_t resetDone_ = 0;
  int64_t flagsDone_ = 0;
  int64_t measureDone_ = 0;
  unsigned heldLevels_ = 0;
};

}  // namespace vexa
