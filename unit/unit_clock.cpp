#include "unit_clock.h"

#include <ctime>

namespace vexa {

int64_t SteadyUnitClock::nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace vexa
