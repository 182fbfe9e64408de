// Program entry of the Vexa device simulator.
#include <iostream>
#include <string>
#include <vector>

#include "headless.h"
#include "instance_lock.h"
#include "window_app.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  bool headless = false;
  bool forceWindow = false;
  for (const std::string& a : arguments) {
    headless = headless || a == "--headless";
    forceWindow = forceWindow || a == "--gui";
  }

  const vexa::StartupSettings settings =
      vexa::startupSettings(arguments, vexa::executableDirectory());
  // Held for the life of the process; the kernel releases it however the process ends.
  const vexa::InstanceLock lock(vexa::InstanceLock::pathFor("Quorix.VXS01"));
  if (!lock.acquired() && !settings.DetailMode) {
    if (!headless) vexa::askRunningInstanceToRaise();
    return 1;
  }

  if (!headless && !vexa::displayAvailable()) {
    if (forceWindow) {
      std::cerr << "vexa-sim: no display to open the window on (DISPLAY is not set)" << std::endl;
      return 1;
    }
    std::cerr << "vexa-sim: no display; running headless" << std::endl;
    headless = true;
  }
  if (headless) return vexa::runHeadless(argc, argv, settings, {});
  return vexa::runWindow(argc, argv, settings, {}, lock.acquired());
}
