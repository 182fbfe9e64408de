#pragma once

#include <string>
#include <vector>

#include "state_files.h"

namespace vexa {

// The process-wide values start-up fixes once; read-only afterwards, on any thread.
struct StartupSettings {
  bool DetailMode = false;
  bool LogEnabled = false;
  StatePaths paths;
};

// The directory of the running executable, ending in "/".
std::string executableDirectory();

// Detail and log switches from `arguments`, the program's arguments that are neither options nor
// option values; paths for `appDir` (ending in "/").
StartupSettings startupSettings(const std::vector<std::string>& arguments,
                                const std::string& appDir);

// "  " + optional "[DL] - " + "Quorix - Simulador VEXA".
std::string windowCaption(bool detailMode, bool logEnabled);

}  // namespace vexa
