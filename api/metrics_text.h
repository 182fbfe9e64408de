#pragma once

#include <string>
#include <vector>

#include "process_stats.h"
#include "unit_snapshot.h"

namespace vexa::api {

// What the event hub has done, for the metrics.
struct EventStats {
  uint64_t published = 0;
  uint64_t lost = 0;
  uint64_t readers = 0;
};

// The Prometheus text exposition (format 0.0.4) of every unit's counters and endpoint state
// (labelled `unit`), their totals over all units in families of their own (`vexa_fleet_...`, so
// that `sum()` of a per-unit family counts nothing twice), the event hub's counts and the
// process's memory and descriptors.
std::string metricsText(const std::vector<UnitSnapshot>& units, const EventStats& events,
                        const ProcessStats& process);

}  // namespace vexa::api
