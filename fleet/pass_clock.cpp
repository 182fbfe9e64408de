#include "pass_clock.h"

namespace vexa {

void PassClock::holdFor(uint64_t pass) {
  if (pass != pass_ || uses_ == kRequestsPerReading) {
    heldMs_ = base_.nowMs();
    pass_ = pass;
    uses_ = 0;
  }
  ++uses_;
  holder_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

}  // namespace vexa
