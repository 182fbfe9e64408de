#pragma once

#include <cstdint>

namespace vexa {

// A random walk: from `start`, every `interval` seconds the value moves by a uniform amount in
// [-step, +step] and is held within [min, max].
struct WalkLevel {
  double start = 0;
  double step = 1;
  double interval = 1;
  double min = 0;
  double max = 0;
};

// Evaluates one walk for one runner. Move n is drawn from (seed, stream, n), so the value at a
// time depends only on the seed and that time, never on how often it was asked for. Asking for
// increasing times costs one draw per move made since the previous question; an earlier time
// replays the walk from its start. Not thread-safe: one owner.
class RandomWalk {
 public:
  RandomWalk(const WalkLevel& walk, uint64_t seed, uint64_t stream);

  // The value at scenario time `t` seconds (t below 0 counts as 0).
  double valueAt(double t);

 private:
  WalkLevel walk_;
  uint64_t seed_;
  uint64_t stream_;
  int64_t moves_ = 0;  // moves made to reach value_
  double value_;
};

}  // namespace vexa
