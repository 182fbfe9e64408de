#pragma once

#include <string>

#include "simulator_host.h"

namespace vexa {

// The local socket name through which a second instance asks the first to show its window.
std::string instanceServerName();

// Asks the running instance to show and raise its window; waits at most a second.
void askRunningInstanceToRaise();

// Runs the simulator with its window until the window closes. Returns the exit code, 0.
// `firstInstance`: this process holds the instance lock and serves raise requests.
int runWindow(int argc, char** argv, const StartupSettings& settings,
              SimulatorHost::Network network, bool firstInstance);

// Whether a window can be opened here (a display, or a chosen Qt platform).
bool displayAvailable();

}  // namespace vexa
