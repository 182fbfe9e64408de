#include "state_files.h"

#include <sys/stat.h>

#include <algorithm>

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

BoundedRead readBlock(const std::string& path, void* destination, size_t size) {
  BoundedRead file = readRegularFile(path, size);
  std::copy(file.bytes.begin(), file.bytes.end(), static_cast<char*>(destination));
  return file;
}

UnreadStateFiles LoadState(DeviceState& state, const StatePaths& paths, StateHost& host) {
  host.setCycleInterval(cycleIntervalMs(readCiclo(paths.IniPath)));
  UnreadStateFiles unread;
  // Read outside the state lock: no command runs yet, and a slow disk holds no one up.
  DeviceConfig config{};
  LiveRecord live{};
  state.locked([&](const DeviceData& d) {
    config = d.config;
    live = d.live;
  });
  writeConfigDefaults(config);
  unread.config = readBlock(paths.configFile(), &config, sizeof config).unreadable();
  const BoundedRead liveFile = readBlock(paths.liveFile(), &live, sizeof live);
  unread.live = liveFile.unreadable();
  // Defaults only for a file that is not there; an existing one keeps what it gave, even none.
  if (liveFile.outcome == BoundedRead::Outcome::Missing) writeLiveDefaults(live);
  state.locked([&](DeviceData& d) {
    d.config = config;
    d.live = live;
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
  return unread;
}

Status FormClose(DeviceState& state, const StatePaths& paths, StateHost& host, FileSystem& fs,
                 const UnreadStateFiles& keep) {
  host.setCycleTimerEnabled(false);
  const DeviceState::Snapshot snapshot = state.snapshot();
  const std::string_view config(reinterpret_cast<const char*>(&snapshot.config),
                                sizeof snapshot.config);
  const std::string_view live(reinterpret_cast<const char*>(&snapshot.live), sizeof snapshot.live);
  if (!keep.config) {
    Status status = replaceFile(fs, paths.configFile(), config);
    if (!status.ok()) return status;
  }
  if (keep.live) return Status::Ok();
  return replaceFile(fs, paths.liveFile(), live);
}

std::string keptFilesNotice(const StatePaths& paths, const UnreadStateFiles& kept) {
  std::string notice;
  for (const auto& [unread, path] :
       {std::pair{kept.config, paths.configFile()}, std::pair{kept.live, paths.liveFile()}}) {
    if (!unread) continue;
    if (!notice.empty()) notice += "\n";
    notice += "\"" + path +
              "\" could not be read at start-up and was left as it was; this run's changes to it "
              "are not saved.";
  }
  return notice;
}

}  // namespace vexa
