#include "scenario_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vexa {

namespace {

// Reads the whole regular file at `path` into `out`; an error text otherwise.
std::string readRegularFile(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  std::string error;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    error = "not a regular file";
  } else if (static_cast<size_t>(info.st_size) > kMaxScenarioFileBytes) {
    error = "larger than " + std::to_string(kMaxScenarioFileBytes) + " bytes";
  } else {
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = std::strerror(errno);
        break;
      }
      if (n == 0) break;
      out.append(buffer, static_cast<size_t>(n));
      if (out.size() > kMaxScenarioFileBytes) {  // grew while being read
        error = "larger than " + std::to_string(kMaxScenarioFileBytes) + " bytes";
        break;
      }
    }
  }
  ::close(fd);
  return error;
}

}  // namespace

ScenarioLoad loadScenarioFile(const std::string& path) {
  std::string text;
  const std::string error = readRegularFile(path, text);
  if (!error.empty()) return {nullptr, path + ": " + error};
  ScenarioLoad load = parseScenario(text);
  if (!load.ok()) load.error = path + ": " + load.error;
  return load;
}

}  // namespace vexa
