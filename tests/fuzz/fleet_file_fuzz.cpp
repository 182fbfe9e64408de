// Any text as a fleet file: it is accepted or refused with a message naming where, never more;
// an accepted plan holds only valid units with distinct endpoints.
#include <cstdlib>
#include <set>

#include "fleet_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vexa::FleetPlan plan;
  vexa::UnitPlan base;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto error = vexa::parseFleetText(text, base, plan);
  if (error) {
    if (error->empty() || !plan.units.empty()) std::abort();
    return 0;
  }
  std::set<std::pair<std::string, uint16_t>> endpoints;
  for (const vexa::UnitPlan& u : plan.units) {
    if (u.port == 0 || u.variant < 2 || u.variant > 4) std::abort();
    if (!endpoints.insert({u.address, u.port}).second) std::abort();
  }
  if (plan.units.empty() || plan.single) std::abort();
  return 0;
}
