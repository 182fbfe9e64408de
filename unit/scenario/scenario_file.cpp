#include "scenario_file.h"

#include <cerrno>
#include <cstring>

#include "bounded_read.h"

namespace vexa {

ScenarioLoad loadScenarioFile(const std::string& path) {
  const BoundedRead read = readRegularFile(path, kMaxScenarioFileBytes);
  if (read.outcome == BoundedRead::Outcome::Missing)
    return {nullptr, path + ": " + std::strerror(ENOENT)};
  if (read.special) return {nullptr, path + ": not a regular file"};
  if (read.unreadable()) return {nullptr, path + ": " + std::strerror(read.error)};
  if (read.truncated) {
    return {nullptr, path + ": larger than " + std::to_string(kMaxScenarioFileBytes) + " bytes"};
  }
  ScenarioLoad load = parseScenario(read.bytes);
  if (!load.ok()) load.error = path + ": " + load.error;
  return load;
}

}  // namespace vexa
