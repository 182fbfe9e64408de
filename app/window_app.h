#pragma once

#include <string>

#include "simulator_host.h"

namespace vexa {

// The local socket through which a second instance asks the first to show its window: in the
// state directory, beside the instance lock.
std::string instanceServerName(const std::string& stateDirectory);

// Asks the instance running on `stateDirectory` to show and raise its window; waits at most a
// second.
void askRunningInstanceToRaise(const std::string& stateDirectory);

// Runs the simulator with its window until the window closes. Returns the exit code, 0.
// `stateDirectory`: the directory whose lock this process holds and whose raise requests it
// serves (empty: none).
int runWindow(int argc, char** argv, const StartupSettings& settings,
              SimulatorHost::Network network, const std::string& stateDirectory);

// Whether a window can be opened here (a display, or a chosen Qt platform).
bool displayAvailable();

}  // namespace vexa
