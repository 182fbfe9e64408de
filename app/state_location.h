#pragma once

#include <string>

#include "command_line.h"

namespace vexa {

struct StateLocation {
  std::string directory;  // ends in "/"
  std::string notice;     // one line for stderr, or empty
  std::string error;      // the directory cannot be used
};

// Where the state files live: --state-dir; else the executable's directory; else, when that is
// not writable (an installed program), $XDG_STATE_HOME/vexa-sim (or ~/.local/state/vexa-sim).
// The instance lock lives in that directory (one instance per state directory), so units with
// their own directories run side by side and two processes never share state files.
StateLocation locateState(const CommandLine& options, const std::string& executableDir);

}  // namespace vexa
