#pragma once

#include <functional>
#include <memory>
#include <string>

#include "api_token.h"
#include "command_line.h"
#include "fleet_api.h"
#include "fleet_plan.h"
#include "instance_lock.h"
#include "startup_settings.h"
#include "state_location.h"

namespace vexa {

// What both programs do before the choice of a window: read the options (help and version
// answered here), plan the units (a fleet file's errors end the program before anything is
// written), find the state directory, read the switches, and take the directory's lock.
struct ProgramStart {
  int exitCode = -1;  // 0 or more: end now with this code; everything has been said on stderr
  CommandLine options;
  ApiOptions api;  // the HTTP interface's, its token read (no address: none)
  FleetPlan plan;
  StateLocation where;
  StartupSettings settings;
  std::unique_ptr<InstanceLock> lock;  // held for the life of the process
};

struct ProgramKind {
  const char* name;  // for messages: "vexa-sim" or "vexa-sim-headless"
  bool hasWindow;    // false: --gui is refused
  // Called when the state directory is taken and a window was asked for (may be empty).
  std::function<void(const std::string& stateDirectory)> raiseRunning;
};

ProgramStart startProgram(const ProgramKind& kind, int argc, char** argv);

// The HTTP interface's options from `options` and the token's `sources` (read only with --api).
// Error text (for the usage exit code) when the token cannot be had or breaks its rule, or when
// the address is not 127.x.x.x and no source gives a token. Lines for stderr go to `notes`:
// warnings, and which source gave the token (never the token itself).
std::optional<std::string> apiOptionsFor(const CommandLine& options, const ApiTokenSources& sources,
                                         ApiOptions& api, std::vector<std::string>& notes);

// Overwrites the value of --api-token in the program's arguments, so `ps` and
// /proc/PID/cmdline stop showing it once the program has started.
void hideTokenArgument(int argc, char** argv);

}  // namespace vexa
