#include "clock.h"

#include <chrono>
#include <ctime>

namespace vexa {

int64_t monotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

uint32_t MonotonicTickSource::GetTickCount() {
  return static_cast<uint32_t>(monotonicMs());
}

uint32_t SeededRandom::seedFromTimeOfDay() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

int SeededRandom::R(int n) {
  if (n <= 1) return 0;
  return std::uniform_int_distribution<int>(0, n - 1)(engine_);
}

}  // namespace vexa
