#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "api_address.h"
#include "fault_injector.h"

namespace vexa {

// The program's options. The switches "/D" and "/L" are not options: they are found anywhere
// in the arguments by their own rule.
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
  std::optional<api::ApiAddress> api;  // --api: the HTTP interface
  std::string apiToken;                // --api-token
};

struct ParsedCommandLine {
  std::optional<CommandLine> options;  // nothing on a bad option
  std::string error;                   // one line when options is empty
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();
std::string versionText();

}  // namespace vexa
