#pragma once

#include "simulator_host.h"

namespace vexa {

// The exit code of a run ended by `quit --force`, without saving the state.
constexpr int kExitUnsaved = 3;

// Runs the simulator without a window until a signal or `quit` asks for the orderly close.
// A close whose save fails is reported on stderr and the run goes on. Returns the process exit
// code: 0 after a saved close, 1 when the endpoint could not be opened at start,
// kExitUnsaved after `quit --force`.
int runHeadless(int argc, char** argv, const StartupSettings& settings,
                SimulatorHost::Network network);

}  // namespace vexa
