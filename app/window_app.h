#pragma once

#include <QWidget>
#include <string>

#include "fleet_api.h"
#include "simulator_host.h"

namespace vexa {

// The local socket through which a second instance asks the first to show its window: in the
// state directory, beside the instance lock.
std::string instanceServerName(const std::string& stateDirectory);

// Asks the instance running on `stateDirectory` to show and raise its window; waits at most a
// second.
void askRunningInstanceToRaise(const std::string& stateDirectory);

// What a signal does: closes `window` (the close sequence runs) and, when the close completes,
// ends the event loop, whether the window is shown, minimised or hidden in the tray.
void closeForSignal(QWidget& window);

// Runs the simulator with its window until the window closes. Returns the exit code, 0 (1 when
// the HTTP interface `api` asks for cannot listen). `stateDirectory`: the directory whose lock
// this process holds and whose raise requests it serves (empty: none).
int runWindow(int argc, char** argv, const StartupSettings& settings,
              SimulatorHost::Network network, const std::string& stateDirectory,
              ApiOptions api = {});

}  // namespace vexa
