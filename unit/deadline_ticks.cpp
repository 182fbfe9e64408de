#include "deadline_ticks.h"

#include <algorithm>

#include "bits.h"
#include "live_ticks.h"

namespace vexa {

void DeadlineTicks::start(int64_t originMs) {
  started_ = true;
  origin_ = originMs;
  resetDone_ = flagsDone_ = measureDone_ = 0;
}

int64_t DeadlineTicks::nextFlagsDue() const {
  return started_ ? origin_ + (flagsDone_ + 1) * kFlagsMs : -1;
}

// Runs the reset ticks up to number `tick`: the countdown falls by one per tick while above
// 0, and input bit 1 follows it.
void DeadlineTicks::resetTo(DeviceData& d, int64_t tick) {
  const int64_t missed = tick - resetDone_;
  if (missed <= 0) return;
  resetDone_ = tick;
  if (d.ResetCountdown > 0) {
    d.ResetCountdown -= static_cast<int32_t>(std::min<int64_t>(missed, d.ResetCountdown));
  }
  uint16_t flags = d.live.InputFlags();
  SetBit(flags, kReset, d.ResetCountdown > 0);
  d.live.setInputFlags(flags);
}

// Runs the flags step number `tick`; the ones before it would have been overwritten by it.
void DeadlineTicks::flagsTo(DeviceData& d, int64_t tick) {
  if (tick <= flagsDone_) return;
  flagsDone_ = tick;
  flagsStepOn(d);
}

void DeadlineTicks::advance(DeviceData& d, int64_t nowMs, RandomSource& random) {
  if (!started_ || nowMs < origin_) return;
  const int64_t elapsed = nowMs - origin_;
  const int64_t measureDue = elapsed / kMeasureMs;
  for (int64_t m = measureDone_ + 1; m <= measureDue; ++m) {
    // Without auto mode a measurement tick changes nothing but the text the next one replaces.
    if (!d.AutoMode) m = measureDue;
    const int64_t at = m * kMeasureMs;
    resetTo(d, at / kResetMs);
    flagsTo(d, at / kFlagsMs);
    measurementTickOn(d, random, heldLevels_);
    measureDone_ = m;
  }
  const int64_t flagsDue = elapsed / kFlagsMs;
  resetTo(d, flagsDue * kFlagsMs / kResetMs);
  flagsTo(d, flagsDue);
  resetTo(d, elapsed / kResetMs);
}

}  // namespace vexa
