#include "program_start.h"

#include <cstring>
#include <iostream>
#include <vector>

#include "headless.h"

namespace vexa {

ProgramStart startProgram(const ProgramKind& kind, int argc, char** argv) {
  ProgramStart start;
  const std::string prefix = std::string(kind.name) + ": ";
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  ParsedCommandLine parsed = parseCommandLine(arguments);
  if (!parsed.options) {
    std::cerr << prefix << parsed.error << "\n" << usageText();
    start.exitCode = 2;
    return start;
  }
  start.options = std::move(*parsed.options);
  const CommandLine& options = start.options;
  if (options.help || options.version) {
    std::cout << (options.help ? usageText() : versionText());
    start.exitCode = 0;
    return start;
  }
  if (options.gui && !kind.hasWindow) {
    std::cerr << prefix << "--gui: this program has no window (use vexa-sim)" << std::endl;
    start.exitCode = 2;
    return start;
  }
  if (options.api) {
    hideTokenArgument(argc, argv);
    std::vector<std::string> notes;
    const auto error = apiOptionsFor(
        options, processApiTokenSources(options.apiToken, options.apiTokenFile), start.api, notes);
    for (const std::string& note : notes) std::cerr << prefix << note << std::endl;
    if (error) {
      std::cerr << prefix << *error << std::endl;
      start.exitCode = 2;
      return start;
    }
  }
  if (const auto error = planFromOptions(options, start.plan)) {
    std::cerr << prefix << *error << std::endl;
    start.exitCode = 2;
    return start;
  }
  start.where = locateState(options, executableDirectory());
  if (!start.where.error.empty()) {
    std::cerr << prefix << start.where.error << std::endl;
    start.exitCode = 2;
    return start;
  }
  start.settings = startupSettings(options.switchArguments, start.where.directory);
  // One instance per state directory, a fleet's units included; the kernel releases the lock
  // however the process ends.
  start.lock = std::make_unique<InstanceLock>(InstanceLock::pathFor(start.where.directory));
  if (!start.lock->acquired() && !start.settings.DetailMode) {
    std::cerr << takenMessage(start.where.directory, start.lock->holder()) << std::endl;
    if (!options.headless && kind.hasWindow && kind.raiseRunning) {
      kind.raiseRunning(start.where.directory);
    }
    start.exitCode = 1;
    return start;
  }
  if (!start.where.notice.empty()) std::cerr << start.where.notice << std::endl;
  return start;
}

std::optional<std::string> apiOptionsFor(const CommandLine& options, const ApiTokenSources& sources,
                                         ApiOptions& api, std::vector<std::string>& notes) {
  api = {};
  if (!options.api) return std::nullopt;
  LoadedApiToken token = loadApiToken(sources);
  notes.insert(notes.end(), token.warnings.begin(), token.warnings.end());
  if (!token.ok()) return token.error;
  // Anyone who can reach a non-loopback address could steer the units: it takes a token.
  if (!options.api->loopback() && token.token.empty()) {
    return "--api on " + options.api->host +
           " needs a token: --api-token-file FILE, the environment variable " + kApiTokenVariable +
           " or the service credential " + kApiTokenCredential + " (only 127.x.x.x goes without)";
  }
  // Which source won, since the others are not read.
  if (!token.token.empty()) notes.push_back("API token from " + token.source);
  api.address = options.api;
  api.token = std::move(token.token);
  api.allowedHosts = options.apiAllowedHosts;
  api.metricsPublic = options.metricsPublic;
  if (options.apiMaxConnections) api.maxConnections = *options.apiMaxConnections;
  return std::nullopt;
}

void hideTokenArgument(int argc, char** argv) {
  static const char kOption[] = "--api-token";
  for (int i = 1; i < argc; ++i) {
    char* value = nullptr;
    if (std::strcmp(argv[i], kOption) == 0 && i + 1 < argc) {
      value = argv[++i];
    } else if (std::strncmp(argv[i], kOption, sizeof kOption - 1) == 0 &&
               argv[i][sizeof kOption - 1] == '=') {
      value = argv[i] + sizeof kOption;
    }
    if (value) std::memset(value, 'x', std::strlen(value));
  }
}

}  // namespace vexa
