#include "timed_event.h"

#include <algorithm>
#include <cmath>

#include "counter_random.h"

namespace vexa {

double occurrenceTime(const TimedEvent& event, uint64_t seed, uint64_t stream, uint64_t k) {
  const Schedule& s = event.schedule;
  double base = kNever;
  if (s.every > 0) {
    base = s.at + static_cast<double>(k) * s.every;
    if (!(base < s.until)) return kNever;
  } else if (k < s.times.size()) {
    base = s.times[k];
  } else {
    return kNever;
  }
  return s.jitter > 0 ? base + s.jitter * counterUniform(seed, stream, k) : base;
}

double stepTime(const TimedEvent& event, uint64_t seed, uint64_t stream, uint64_t n) {
  const uint64_t per = event.stepsPerOccurrence();
  const double begin = occurrenceTime(event, seed, stream, n / per);
  return n % per == 0 ? begin : begin + event.duration;
}

uint64_t firstOccurrenceFrom(const TimedEvent& event, uint64_t seed, uint64_t stream, double t) {
  const Schedule& s = event.schedule;
  uint64_t k = 0;
  // Periodic: skip to just before the first occurrence that can begin at or after t.
  if (s.every > 0 && t - s.jitter > s.at) {
    k = static_cast<uint64_t>(std::floor((t - s.jitter - s.at) / s.every));
  }
  while (occurrenceTime(event, seed, stream, k) < t) ++k;
  return k;
}

}  // namespace vexa
