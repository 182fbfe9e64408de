#include "random_walk.h"

#include <algorithm>
#include <cmath>

#include "counter_random.h"

namespace vexa {

RandomWalk::RandomWalk(const WalkLevel& walk, uint64_t seed, uint64_t stream)
    : walk_(walk), seed_(seed), stream_(stream), value_(walk.start) {}

double RandomWalk::valueAt(double t) {
  const auto target = static_cast<int64_t>(std::floor(std::max(t, 0.0) / walk_.interval));
  if (target < moves_) {
    moves_ = 0;
    value_ = walk_.start;
  }
  for (; moves_ < target; ++moves_) {
    const double delta = (2 * counterUniform(seed_, stream_, static_cast<uint64_t>(moves_)) - 1);
    value_ = std::clamp(value_ + delta * walk_.step, walk_.min, walk_.max);
  }
  return value_;
}

}  // namespace vexa
