#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
};

struct ParsedCommandLine {
  std::optional<CommandLine> options;  // nothing on a bad option
  std::string error;                   // one line when options is empty
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// "--variant" and the console's "variant": "110", "130", "150" to 2, 3, 4.
std::optional<int> variantFromText(const std::string& text);
// "MS" or "MS:JITTER", each 0..600000.
bool parseDelay(const std::string& text, int& ms, int& jitter);
// A probability 0..1.
bool parseProbability(const std::string& text, double& p);

std::string usageText();
std::string versionText();

}  // namespace vexa
