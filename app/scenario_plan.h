#pragma once

#include <optional>
#include <string>

#include "command_line.h"
#include "fleet_plan.h"

namespace vexa {

// Gives every planned unit its scenario: the fleet file's, else --scenario's. Reads and checks
// each file once (units naming the same file share it) and sets how each unit runs it:
// --time-factor over the file's factor; the seed --scenario-seed or the file's, plus N - 1 for
// unit N of a fleet so units do not draw alike; the start time the fleet file's
// "scenario_offset", else (N - 1) x --scenario-stagger. Error text naming the file and the
// field (for exit code 2). Writes nothing.
std::optional<std::string> planScenarios(const CommandLine& options, FleetPlan& plan);

}  // namespace vexa
