#include "state_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "config_display.h"
#include "ini_settings.h"

namespace vexa {

StatePaths StatePaths::forDirectory(const std::string& directory) {
  StatePaths paths;
  paths.AppDir = directory;
  paths.IniPath = directory + "VX.ini";
  struct stat st {};
  const std::string log = directory + "Log";
  paths.LogDir = (::stat(log.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? log + "/" : directory;
  return paths;
}

size_t readBlock(const std::string& path, void* destination, size_t size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  auto* out = static_cast<char*>(destination);
  size_t total = 0;
  while (total < size) {
    const ssize_t n = ::read(fd, out + total, size - total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
  ::close(fd);
  return total;
}

namespace {
bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}
}  // namespace

void LoadState(DeviceState& state, const StatePaths& paths, StateHost& host) {
  host.setCycleInterval(cycleIntervalMs(readCiclo(paths.IniPath)));
  state.locked([&](DeviceData& d) {
    writeConfigDefaults(d.config);
    if (exists(paths.configFile())) readBlock(paths.configFile(), &d.config, sizeof d.config);
    if (exists(paths.liveFile())) {
      readBlock(paths.liveFile(), &d.live, sizeof d.live);
    } else {
      writeLiveDefaults(d.live);
    }
  });
  host.moveLevelSliders();
  const std::string date = state.locked([](DeviceData& d) {
    deriveWorkValues(d);
    return versionDateText(d.config);
  });
  host.ShowConfig();
  host.setVersionTexts("1.50", date);
  host.seedRandom();
  host.selectStartVariant();
  host.switchEndpointOn();
  host.measurementTick();
  host.setCycleTimerEnabled(true);
}

Status FormClose(DeviceState& state, const StatePaths& paths, StateHost& host, FileSystem& fs) {
  host.setCycleTimerEnabled(false);
  const DeviceState::Snapshot snapshot = state.snapshot();
  const std::string_view config(reinterpret_cast<const char*>(&snapshot.config),
                                sizeof snapshot.config);
  const std::string_view live(reinterpret_cast<const char*>(&snapshot.live), sizeof snapshot.live);
  Status status = replaceFile(fs, paths.configFile(), config);
  if (!status.ok()) return status;
  return replaceFile(fs, paths.liveFile(), live);
}

}  // namespace vexa
