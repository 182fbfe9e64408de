// Program entry of vexa-sim-headless: the simulator without any window code, for servers, the
// service manager and containers. Same options as vexa-sim; headless is implied, so --gui is
// refused. Start-up follows main.cpp step by step, less the window.
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "headless.h"
#include "instance_lock.h"
#include "standard_streams.h"
#include "state_location.h"

int main(int argc, char** argv) {
  vexa::protectStandardStreams();
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const vexa::ParsedCommandLine parsed = vexa::parseCommandLine(arguments);
  if (!parsed.options) {
    std::cerr << "vexa-sim-headless: " << parsed.error << "\n" << vexa::usageText();
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
  if (options.gui) {
    std::cerr << "vexa-sim-headless: --gui: this program has no window (use vexa-sim)" << std::endl;
    return 2;
  }

  const vexa::StateLocation where = vexa::locateState(options, vexa::executableDirectory());
  if (!where.error.empty()) {
    std::cerr << "vexa-sim-headless: " << where.error << std::endl;
    return 2;
  }
  const vexa::StartupSettings settings =
      vexa::startupSettings(options.switchArguments, where.directory);
  // Held for the life of the process; the kernel releases it however the process ends.
  const vexa::InstanceLock lock(vexa::InstanceLock::pathFor(where.directory));
  if (!lock.acquired() && !settings.DetailMode) {
    std::cerr << vexa::takenMessage(where.directory, lock.holder()) << std::endl;
    return 1;
  }
  if (!where.notice.empty()) std::cerr << where.notice << std::endl;

  vexa::SimulatorHost::Network network;
  network.port = options.port.value_or(vexa::UdpEndpoint::kDefaultPort);
  network.bindAddress = options.bindAddress;
  network.startVariant = options.variant;
  network.faults = options.faults;
  network.faultSeed = options.seedGiven ? options.seed : vexa::SeededRandom::seedFromTimeOfDay();
  return vexa::runHeadless(argc, argv, settings, network);
}
