#include "unit_clock.h"

namespace vexa {

int64_t SteadyUnitClock::nowMs() {
  return monotonicMs();
}

}  // namespace vexa
