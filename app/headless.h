#pragma once

#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "fleet_api.h"
#include "fleet_plan.h"
#include "startup_settings.h"

namespace vexa {

// The exit code of a run ended by `quit --force`, without saving the state.
constexpr int kExitUnsaved = 3;

// The units the options ask for: a unit alone, or a fleet (--units, --bind-range, or the
// fleet file, read and checked here). Error text (for exit code 2) when they cannot make one.
// Writes nothing: call it before anything else is done.
std::optional<std::string> planFromOptions(const CommandLine& options, FleetPlan& plan);

// Runs the planned units (each unit of a fleet in its folder of the state directory, a unit
// alone in the state directory itself) without a window, on one event loop, until a signal
// (SIGTERM, SIGINT, SIGHUP) or `quit` asks for the orderly close, which saves every unit.
// Reads operator commands from standard input when it is a terminal, a pipe or a regular file.
// A close whose save fails names each unit that was not saved on stderr (the others are saved
// all the same) and the run goes on; the next `quit` or signal tries again. Returns the process
// exit code: 0 after a saved close; 1 when a unit's endpoint could not be opened or the
// open-file limit is too low, or the HTTP interface `api` asks for cannot listen; kExitUnsaved
// after `quit --force`.
int runHeadless(const StartupSettings& settings, FleetPlan plan, ApiOptions api = {});

}  // namespace vexa
