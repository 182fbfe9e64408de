#pragma once

#include "simulator_host.h"

namespace vexa {

// Runs the simulator without a window until a signal or `quit` asks for the orderly close.
// Returns the process exit code: 0 after a saved close, 1 when the endpoint could not be
// opened, 2 when the state could not be saved.
int runHeadless(int argc, char** argv, const StartupSettings& settings,
                SimulatorHost::Network network);

}  // namespace vexa
