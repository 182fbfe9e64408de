#pragma once

#include <cstddef>
#include <string>

#include "scenario_loader.h"

namespace vexa {

// A scenario file is read whole; larger files are rejected.
inline constexpr size_t kMaxScenarioFileBytes = 1 << 20;

// Reads and checks a scenario file. Only a regular file is read (a FIFO or device is refused,
// never waited on). The error names the file and then the field: "FILE: levels.temp.period: must
// be > 0". Never throws. The option parser exits with code 2 on an error.
ScenarioLoad loadScenarioFile(const std::string& path);

}  // namespace vexa
