// Program entry of the Vexa device simulator: the window, or headless where asked or where no
// display can be opened.
#include <iostream>

#include "descriptor_limit.h"
#include "display_check.h"
#include "headless.h"
#include "program_start.h"
#include "standard_streams.h"
#include "window_app.h"

int main(int argc, char** argv) {
  vexa::protectStandardStreams();
  vexa::ProgramStart start =
      vexa::startProgram({"vexa-sim", true, vexa::askRunningInstanceToRaise}, argc, argv);
  if (start.exitCode >= 0) return start.exitCode;
  const vexa::CommandLine& options = start.options;

  bool headless = options.headless;
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
  if (headless) {
    return vexa::runHeadless(start.settings, std::move(start.plan), std::move(start.api));
  }
  // The HTTP interface's connections must not take the descriptors a save needs.
  if (start.api.address) {
    const size_t needed = vexa::descriptorsNeeded(start.plan.units.size(), start.api);
    if (const vexa::Status s = vexa::ensureDescriptorLimit(needed); !s.ok()) {
      std::cerr << "vexa-sim: " << s.text() << ", or lower --api-max-connections" << std::endl;
      return 1;
    }
  }
  // The window's one unit, as the start-up planned it.
  const vexa::UnitPlan& unit = start.plan.units[0];
  vexa::SimulatorHost::Network network;
  network.port = unit.port;
  network.bindAddress = unit.address;
  network.startVariant = unit.variant;
  network.faults = unit.faults;
  network.maxRepliesPerDatagram = unit.maxRepliesPerDatagram;
  network.faultSeed = start.plan.faultSeed;
  network.scenario = unit.scenario;
  network.scenarioFile = unit.scenarioFile;
  network.scenarioRun = unit.scenarioRun;
  return vexa::runWindow(argc, argv, start.settings, network,
                         start.lock->acquired() ? start.where.directory : "", std::move(start.api));
}
