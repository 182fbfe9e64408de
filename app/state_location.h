#pragma once

#include <string>

#include "command_line.h"

namespace vexa {

// The folder the package installs the programs to (absolute), fixed at build time.
std::string installBinDirectory();

struct StateLocation {
  std::string directory;  // ends in "/"
  std::string notice;     // one line for stderr, or empty
  std::string error;      // the directory cannot be used
};

// Whether an executable in `executableDir` is an installed copy: one under /usr/, or in the
// folder the package installs programs to (`installBinDir`).
bool isInstalledDirectory(const std::string& executableDir, const std::string& installBinDir);

// Where the state files live: --state-dir; else the executable's directory, unless it is an
// installed copy or the directory is not writable; then $XDG_STATE_HOME/vexa-sim when
// XDG_STATE_HOME is an absolute path, else $HOME/.local/state/vexa-sim; with neither, an error
// (nothing is written elsewhere). An installed copy never keeps state beside itself, whoever
// runs it. The instance lock lives in that directory (one instance per state directory), so
// units with their own directories run side by side and two processes never share state files.
StateLocation locateState(const CommandLine& options, const std::string& executableDir,
                          const std::string& installBinDir = installBinDirectory());

}  // namespace vexa
