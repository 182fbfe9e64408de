#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fault_injector.h"
#include "scenario_runner.h"
#include "unit.h"

namespace vexa {

// One unit of a fleet as it is to be started.
struct UnitPlan {
  int number = 1;
  std::string address = "0.0.0.0";  // local IPv4 address of its socket
  uint16_t port = 5010;
  std::string directory;  // its state directory, ending in "/"
  int variant = 4;
  FaultSettings faults;
  bool log = false;
  size_t maxRepliesPerDatagram = 0;      // 0: every line answered
  std::optional<UnitIdentity> identity;  // for a fresh unit
  // Its scenario: the file named (empty: none), the scenario read from it by the start-up
  // planning, and how it runs (seed, time factor, the unit's own start time in the scenario).
  std::string scenarioFile;
  std::shared_ptr<const Scenario> scenario;
  RunOptions scenarioRun;
};

// The units of one process. A unit alone (no fleet option) keeps its files in the state
// directory itself and the defaults of a fresh unit unchanged.
struct FleetPlan {
  bool single = true;
  std::vector<UnitPlan> units;
  uint32_t faultSeed = 1;
};

// Units at most in one process.
constexpr int kMaxUnits = 65535;

// The folder of unit `number` in a fleet's state directory: "unit-0001/", ... "unit-12345/".
std::string unitFolderName(int number);

// The identity a fresh unit of a fleet gets from its number n (1..65535), so no two units of
// a fleet look alike: MAC 00-01-02-00-HH-LL with HHLL = n; IP 192.168.S.H with S = (n - 1) / 250
// (mod 256) and H = (n - 1) % 250 + 2, so 192.168.0.2 to 192.168.0.251 for units 1 to 250, then
// the next /24; mask 255.255.255.0; gateway 192.168.S.1. Scale and adjustments keep their
// defaults.
UnitIdentity fleetIdentity(int number);

// Parses "A-B", two dotted IPv4 addresses with A <= B. Returns the addresses in host order.
std::optional<std::pair<uint32_t, uint32_t>> parseAddressRange(const std::string& text);
std::string dottedAddress(uint32_t hostOrder);

// Units 1..count on ports base..base+count-1 of `address`. Error text when a port runs past
// 65535 or the count is out of 1..kMaxUnits.
std::optional<std::string> planPortRange(FleetPlan& plan, int count, uint32_t base,
                                         const std::string& address);
// One unit per address of the range, all on `port`.
std::optional<std::string> planAddressRange(FleetPlan& plan, const std::string& range,
                                            uint16_t port);
// Gives every unit its folder in `stateDir` (ending in "/") and, in a fleet, its identity.
void placeUnits(FleetPlan& plan, const std::string& stateDir);

}  // namespace vexa
