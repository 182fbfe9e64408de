#include "program_start.h"

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

}  // namespace vexa
