#pragma once

#include <optional>
#include <string>

#include "fleet_plan.h"

namespace vexa {

// The largest fleet file read; a longer one is refused.
constexpr size_t kMaxFleetFileBytes = 16 * 1024 * 1024;

// Reads a fleet file (JSON, see docs/fleet.md): {"defaults": {...}, "units": [{...}, ...]},
// each unit with optional "address", "port", "variant", "log", "faults", "identity",
// "scenario" (a scenario file's path, relative to the fleet file's folder) and
// "scenario_offset" (the unit's start time in its scenario, seconds).
// `base` holds what the command line gave (address, port, variant, faults, log); the
// defaults object overrides it and each unit overrides the defaults. Units are numbered in
// file order from 1. Every field is checked before anything else happens; an error names the
// unit and the field ("unit 3, field \"variant\": ...") and leaves `plan` untouched. No two
// units may share an address and port.
std::optional<std::string> readFleetFile(const std::string& path, const UnitPlan& base,
                                         FleetPlan& plan);

// The same, from the file's text.
std::optional<std::string> parseFleetText(const std::string& text, const UnitPlan& base,
                                          FleetPlan& plan);

}  // namespace vexa
