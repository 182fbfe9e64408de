#pragma once

#include <string>

#include "bounded_read.h"
#include "device_state.h"
#include "file_writer.h"
#include "status.h"

namespace vexa {

// Where the simulator keeps its files; every directory ends in "/".
struct StatePaths {
  std::string AppDir;
  std::string IniPath;  // AppDir + "VX.ini"
  std::string LogDir;   // AppDir + "Log/" if that directory existed at start-up, else AppDir

  std::string configFile() const { return AppDir + "VXS1.dat"; }
  std::string liveFile() const { return AppDir + "VXS2.dat"; }
  // The paths for a directory; `directory` must end in "/".
  static StatePaths forDirectory(const std::string& directory);
};

// What the start-up load and the close sequence ask of the program around them: the panel's
// sliders and displays, the endpoint switch and the timers. The window implements it, and so
// does the headless program.
class StateHost {
 public:
  virtual ~StateHost() = default;
  virtual void setCycleInterval(int milliseconds) = 0;  // Tmr1's interval; Tmr1 stays off
  virtual void moveLevelSliders() = 0;                  // sliders to the levels, handlers run
  virtual void ShowConfig() = 0;
  virtual void setVersionTexts(const std::string& version, const std::string& date) = 0;
  virtual void seedRandom() = 0;
  virtual void selectStartVariant() = 0;  // sbCod4 down, VariantCode 4 (or the one asked for)
  virtual void switchEndpointOn() = 0;    // cbCT13 checked, then its click handler
  virtual void measurementTick() = 0;     // Tmr3Timer once
  virtual void setCycleTimerEnabled(bool enabled) = 0;
};

// State files that exist but could not be read at start-up (no permission, not a regular file,
// a read error). The close leaves such a file as it was: replacing it would put this run's
// defaults over contents the user still has.
struct UnreadStateFiles {
  bool config = false;  // VXS1.dat
  bool live = false;    // VXS2.dat
  bool any() const { return config || live; }
};

// Reads up to `size` bytes of `path` into `destination` without blocking (a regular file only,
// at most `size` + 1 bytes read); what was read stays, the rest keeps its value. Silent on every
// failure. The outcome tells a missing file from one that could not be read.
BoundedRead readBlock(const std::string& path, void* destination, size_t size);

// The start-up load: settings, defaults, state files, then the panel, variant 150, the
// endpoint, one measurement tick and the cycle timer. Returns the files it could not read.
UnreadStateFiles LoadState(DeviceState& state, const StatePaths& paths, StateHost& host);

// The close sequence: stops the cycle timer and writes both state files from one snapshot,
// except those in `keep`, which stay as they are. On failure the status carries the platform's
// error text and the old files are left whole (a failure on "VXS1.dat" leaves "VXS2.dat"
// unwritten).
Status FormClose(DeviceState& state, const StatePaths& paths, StateHost& host,
                 FileSystem& fs = posixFileSystem(), const UnreadStateFiles& keep = {});

// What a completed close says about the files it left as they were; empty when none.
std::string keptFilesNotice(const StatePaths& paths, const UnreadStateFiles& kept);

}  // namespace vexa
