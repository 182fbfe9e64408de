// Program entry of the Vexa device simulator.
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "headless.h"
#include "instance_lock.h"
#include "state_location.h"
#include "window_app.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const vexa::ParsedCommandLine parsed = vexa::parseCommandLine(arguments);
  if (!parsed.options) {
    std::cerr << "vexa-sim: " << parsed.error << "\n" << vexa::usageText();
    return 2;
  }
  const vexa::CommandLine& options = *parsed.options;
  if (options.help) {
    std::cout << vexa::usageText();
    return 0;
  }
  if (options.version) {
    std::cout << vexa::versionText();
    return 0;
  }

  const vexa::StateLocation where = vexa::locateState(options, vexa::executableDirectory());
  if (!where.error.empty()) {
    std::cerr << "vexa-sim: " << where.error << std::endl;
    return 2;
  }
  const vexa::StartupSettings settings = vexa::startupSettings(arguments, where.directory);
  // Held for the life of the process; the kernel releases it however the process ends.
  const std::string lockPath = vexa::InstanceLock::pathFor(where.instanceName);
  const vexa::InstanceLock lock(lockPath);
  bool headless = options.headless;
  if (!lock.acquired() && !settings.DetailMode) {
    if (!headless) vexa::askRunningInstanceToRaise(where.instanceName);
    return 1;
  }
  if (!where.notice.empty()) std::cerr << where.notice << std::endl;

  if (!headless && !vexa::displayAvailable()) {
    if (options.gui) {
      std::cerr << "vexa-sim: no display to open the window on (DISPLAY is not set)" << std::endl;
      return 1;
    }
    std::cerr << "vexa-sim: no display; running headless" << std::endl;
    headless = true;
  }
  vexa::SimulatorHost::Network network;
  network.port = options.port.value_or(vexa::UdpEndpoint::kDefaultPort);
  network.bindAddress = options.bindAddress;
  network.startVariant = options.variant;
  network.faults = options.faults;
  network.faultSeed = options.seedGiven ? options.seed : vexa::SeededRandom::seedFromTimeOfDay();
  network.apiAddress = options.api;
  network.apiToken = options.apiToken;
  if (headless) return vexa::runHeadless(argc, argv, settings, network);
  return vexa::runWindow(argc, argv, settings, network, lock.acquired() ? where.instanceName : "");
}
