// Program entry of the simulator without any window code: the same options, headless implied.
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "headless.h"
#include "instance_lock.h"
#include "state_location.h"

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
  // The units first, fleet file included: its errors end the program before anything is written.
  vexa::FleetPlan plan;
  if (const auto error = vexa::planFromOptions(options, arguments, plan)) {
    std::cerr << "vexa-sim: " << *error << std::endl;
    return 2;
  }
  const vexa::StateLocation where = vexa::locateState(options, vexa::executableDirectory());
  if (!where.error.empty()) {
    std::cerr << "vexa-sim: " << where.error << std::endl;
    return 2;
  }
  const vexa::StartupSettings settings = vexa::startupSettings(arguments, where.directory);
  // Held for the life of the process; it covers every unit of the state directory.
  const vexa::InstanceLock lock(vexa::InstanceLock::pathFor(where.instanceName));
  if (!lock.acquired() && !settings.DetailMode) return 1;
  if (!where.notice.empty()) std::cerr << where.notice << std::endl;
  return vexa::runHeadless(settings, std::move(plan));
}
