// Program entry of the Vexa device simulator.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "headless.h"
#include "instance_lock.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  bool headless = false;
  for (const std::string& a : arguments) headless = headless || a == "--headless";

  const vexa::StartupSettings settings =
      vexa::startupSettings(arguments, vexa::executableDirectory());
  const vexa::InstanceLock lock(vexa::InstanceLock::pathFor("Quorix.VXS01"));
  if (!lock.acquired() && !settings.DetailMode) return 1;

  return vexa::runHeadless(argc, argv, settings, {});
}
