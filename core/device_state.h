#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "device_blocks.h"

namespace vexa {

// Everything the simulated device is: the two persisted blocks and the process-wide values.
// All zero at construction; the start-up load writes the defaults and the file contents.
// The small values every request reads come first, next to the lock; the 1 KiB configuration
// block comes last.
struct DeviceData {
  int32_t ResetCountdown = 0;  // in 10 ms ticks
  int32_t VariantCode = 0;     // 2, 3 or 4 once loaded
  LiveRecord live{};
  uint16_t TickToken = 0;  // issued by the latest snd
  int16_t WorkScale = 0;
  uint8_t WorkAjTemp = 0;
  uint8_t WorkAjUmid = 0;
  bool AutoMode = false;
  std::string FlagsText;    // built by the 100 ms tick
  std::string MeasureText;  // built by the measurement tick, read by snd
  DeviceConfig config{};
};

// Copies the scale and adjustment fields of the configuration into their working values.
void deriveWorkValues(DeviceData& d);

// The state after a start-up with no state files: the defaults of both blocks, their working
// values and variant 150. Tests, benchmarks and fuzz targets start from it.
void writeStartupDefaults(DeviceData& d);

// The device state behind one lock. Every command and every tick runs as one call of
// `locked`, so the listener thread and the GUI thread never interleave inside one; texts are
// read whole and a snapshot of both blocks is consistent. Safe to call from any thread; the
// callable must not call back into this object.
class DeviceState {
 public:
  template <class F>
  decltype(auto) locked(F&& f) {
    std::lock_guard<std::mutex> guard(mutex_);
    return f(data_);
  }
  template <class F>
  decltype(auto) locked(F&& f) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return f(static_cast<const DeviceData&>(data_));
  }

  struct Snapshot {
    DeviceConfig config;
    LiveRecord live;
  };
  // Both blocks as they stood at one moment, for saving.
  Snapshot snapshot() const {
    return locked([](const DeviceData& d) { return Snapshot{d.config, d.live}; });
  }

 private:
  mutable std::mutex mutex_;
  DeviceData data_;
};

}  // namespace vexa
