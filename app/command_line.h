#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "api_address.h"
#include "fault_injector.h"

namespace vexa {

// The program's options. The switches "/D" and "/L" are not options: they are found by their
// own rule in the arguments that are neither options nor option values (`switchArguments`).
struct CommandLine {
  bool help = false;
  bool version = false;
  bool headless = false;
  bool gui = false;
  std::optional<uint16_t> port;  // default 5010
  std::string bindAddress = "0.0.0.0";
  std::optional<std::string> stateDir;  // ends in "/"
  int variant = 4;                      // VariantCode at start-up: 2, 3 or 4
  FaultSettings faults;
  uint32_t seed = 0;
  bool seedGiven = false;
  // The arguments that are not our options or their values; each holds "/D" or "/L".
  std::vector<std::string> switchArguments;
  size_t maxRepliesPerDatagram = 0;  // 0: every line answered, as the device does
  // A fleet: any of these starts many units in one process, headless.
  std::optional<int> units;              // --units N: ports P..P+N-1 of --bind
  std::optional<uint16_t> portBase;      // --port-base P (default 5010)
  std::optional<std::string> bindRange;  // --bind-range A-B: one unit per address, on --port
  std::optional<std::string> fleetFile;  // --fleet FILE (JSON)
  // A scenario for the unit alone or every unit of a fleet (a fleet file's own wins).
  std::optional<std::string> scenarioFile;  // --scenario FILE
  std::optional<double> timeFactor;         // --time-factor F, over the file's
  std::optional<uint64_t> scenarioSeed;     // --scenario-seed N, over the file's
  double scenarioStagger = 0;               // --scenario-stagger S: unit N starts at (N-1) x S
  bool fleet() const { return units || bindRange || fleetFile; }
  std::optional<api::ApiAddress> api;  // --api: the HTTP interface
  // Its token, checked against the rule of api_token.h; other sources in api_token.h.
  std::string apiToken;      // --api-token
  std::string apiTokenFile;  // --api-token-file
  // Names a request's Host may give (--api-allow-host, repeatable, lower case).
  std::vector<std::string> apiAllowedHosts;
  bool metricsPublic = false;                 // --metrics-public
  std::optional<unsigned> apiMaxConnections;  // --api-max-connections
};

// Host names --api-allow-host takes at most.
constexpr size_t kMaxApiAllowedHosts = 64;
constexpr unsigned kMaxApiConnections = 65536;

struct ParsedCommandLine {
  std::optional<CommandLine> options;  // nothing on a bad option
  std::string error;                   // one line when options is empty
};

// Options are "--name value" or "--name=value". Any other argument must hold "/D" or "/L" in
// any letter case; one that holds neither ("-h", "extra", "/X") is an error, as are an unknown
// option, a bad value, a value given to a flag, and --headless with --gui. Whether a token is
// needed (an --api address off loopback) is decided once the token's other sources are read.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();
std::string versionText();

}  // namespace vexa
