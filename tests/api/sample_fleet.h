#pragma once

#include <string>
#include <vector>

#include "metrics_text.h"

namespace vexa::api::testing {

// Three units with distinct, non-zero counters, one of them with its endpoint off; their
// totals are in `sampleFleetTotals`.
inline std::vector<UnitSnapshot> sampleFleet() {
  std::vector<UnitSnapshot> units;
  const char* ids[] = {"1", "2", "edge-3.b_x"};
  for (uint64_t n = 1; n <= 3; ++n) {
    UnitSnapshot u;
    u.id = ids[n - 1];
    u.endpointOn = n != 2;
    UnitCounters& c = u.counters;
    c.datagrams = 100 * n;
    c.replies = 90 * n;
    c.bytesReceived = 700 * n;
    c.bytesSent = 5000 * n;
    for (size_t i = 0; i < c.lines.size(); ++i) c.lines[i] = n * 10 + i;
    c.dropped = n;
    c.delayed = 2 * n;
    c.corrupted = 3 * n;
    c.delayOverflow = 4 * n;
    c.linesUnanswered = 5 * n;
    units.push_back(u);
  }
  return units;
}

inline std::string sampleMetricsText() {
  return metricsText(sampleFleet(), EventStats{1234, 56, 2}, ProcessStats{9437184, 14});
}

}  // namespace vexa::api::testing
