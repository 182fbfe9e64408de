// Program entry of the Vexa device simulator.
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "display_check.h"
#include "headless.h"
#include "instance_lock.h"
#include "standard_streams.h"
#include "state_location.h"
#include "window_app.h"

int main(int argc, char** argv) {
  vexa::protectStandardStreams();
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
  const vexa::StartupSettings settings =
      vexa::startupSettings(options.switchArguments, where.directory);
  // One instance per state directory. Held for the life of the process; the kernel releases
  // it however the process ends.
  const vexa::InstanceLock lock(vexa::InstanceLock::pathFor(where.directory));
  bool headless = options.headless;
  if (!lock.acquired() && !settings.DetailMode) {
    std::cerr << vexa::takenMessage(where.directory, lock.holder()) << std::endl;
    if (!headless) vexa::askRunningInstanceToRaise(where.directory);
    return 1;
  }
  if (!where.notice.empty()) std::cerr << where.notice << std::endl;

  if (!headless) {
    const vexa::DisplayCheck display = vexa::checkDisplay();
    if (!display.usable && options.gui) {
      std::cerr << "vexa-sim: " << display.problem << std::endl;
      return 1;
    }
    if (!display.usable) {
      std::cerr << "vexa-sim: " << display.problem << "; running headless" << std::endl;
      headless = true;
    }
  }
  vexa::SimulatorHost::Network network;
  network.port = options.port.value_or(vexa::UdpEndpoint::kDefaultPort);
  network.bindAddress = options.bindAddress;
  network.startVariant = options.variant;
  network.faults = options.faults;
  network.maxRepliesPerDatagram = options.maxRepliesPerDatagram;
  network.faultSeed = options.seedGiven ? options.seed : vexa::SeededRandom::seedFromTimeOfDay();
  if (headless) return vexa::runHeadless(argc, argv, settings, network);
  return vexa::runWindow(argc, argv, settings, network, lock.acquired() ? where.directory : "");
}
