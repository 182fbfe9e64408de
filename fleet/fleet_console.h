#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "fleet.h"

namespace vexa {

// The operator console of a process: one command per line. A unit alone takes every unit
// command directly, as it always has. A fleet adds `units` (the list), `unit N <command>` and
// `all <command>` (a unit command on one or every unit), and `status` gives the fleet's totals.
// Loop thread only.
class FleetConsole {
 public:
  // `quit` ends the run, saving first unless `force`, and returns its answer line; a failed
  // save answers "error: ..." and the run goes on.
  FleetConsole(Fleet& fleet, std::function<std::string(bool force)> quit);

  // Carries out one line; returns what to print (lines ending in "\n"): one line for a unit
  // command, one a unit for `units` and `all`; nothing for a blank line.
  std::string execute(std::string_view line);
  std::string helpText() const;

 private:
  std::string run(std::string_view line);
  std::string onUnit(Unit& unit, const std::vector<std::string>& words, std::string_view line);
  std::string units();
  std::string totals(bool json);

  Fleet& fleet_;
  std::function<std::string(bool force)> quit_;
};

}  // namespace vexa
