// Any arguments (the input split at NUL bytes) into the option parser: it either refuses them
// with one line of error or gives options within their ranges; it never crashes.
#include <cstdlib>
#include <string>
#include <vector>

#include "api_token.h"
#include "command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back() += static_cast<char>(data[i]);
    }
  }
  const vexa::ParsedCommandLine parsed = vexa::parseCommandLine(arguments);
  if (!parsed.options) {
    if (parsed.error.empty() || parsed.error.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  const vexa::CommandLine& c = *parsed.options;
  if (c.port && *c.port == 0) std::abort();
  if (c.stateDir && (c.stateDir->empty() || c.stateDir->back() != '/')) std::abort();
  if (c.variant < 2 || c.variant > 4) std::abort();
  const auto& f = c.faults;
  if (!(f.dropProbability >= 0 && f.dropProbability <= 1)) std::abort();
  if (!(f.corruptProbability >= 0 && f.corruptProbability <= 1)) std::abort();
  if (f.delayMs < 0 || f.delayMs > 600000 || f.delayJitterMs < 0 || f.delayJitterMs > 600000)
    std::abort();
  if (c.maxRepliesPerDatagram > 8192) std::abort();
  // The interface's options: each within its rule, and none without the interface.
  if (!c.apiToken.empty() && vexa::apiTokenProblem(c.apiToken)) std::abort();
  if (!c.apiToken.empty() && !c.apiTokenFile.empty()) std::abort();
  if (c.apiAllowedHosts.size() > vexa::kMaxApiAllowedHosts) std::abort();
  for (const std::string& host : c.apiAllowedHosts) {
    if (host.empty() || host.size() > 253) std::abort();
    if (host.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-.") != std::string::npos)
      std::abort();
  }
  if (c.apiMaxConnections && (*c.apiMaxConnections < 1 || *c.apiMaxConnections > 65536))
    std::abort();
  const bool apiOption = !c.apiToken.empty() || !c.apiTokenFile.empty() || c.metricsPublic ||
                         !c.apiAllowedHosts.empty() || c.apiMaxConnections;
  if (apiOption && !c.api) std::abort();
  return 0;
}
