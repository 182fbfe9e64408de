#pragma once

#include <functional>
#include <memory>
#include <string>

#include "command_line.h"
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

}  // namespace vexa
