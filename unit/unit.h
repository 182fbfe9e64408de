#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "datagram_handler.h"
#include "deadline_ticks.h"
#include "device_state.h"
#include "fault_injector.h"
#include "state_files.h"
#include "status.h"
#include "traffic_log.h"
#include "unit_clock.h"
#include "unit_events.h"

namespace vexa {

class UnitScenario;

// Configuration fields written over the defaults of a fresh unit (one without "VXS1.dat").
struct UnitIdentity {
  std::optional<std::array<uint8_t, 6>> mac;
  std::optional<std::array<uint8_t, 4>> ip, mask, gateway;
  std::optional<int16_t> scale;
  std::optional<uint8_t> ajTemp, ajUmid;
};

// What a unit is given at start.
struct UnitSettings {
  int number = 1;    // 1 for a unit alone; 1..N in a fleet
  StatePaths paths;  // its directory, VX.ini, Log/
  bool LogEnabled = false;
  int startVariant = 4;  // VariantCode after the start-up load
  FaultSettings faults;
  uint32_t faultSeed = 1;
  uint32_t randomSeed = 0;           // 0: from the time of day, as the start-up load seeds
  size_t maxRepliesPerDatagram = 0;  // 0: every line of a datagram answered, as the device does
  std::optional<UnitIdentity> freshIdentity;
};

// Where a unit's replies go: now, or after a fault's delay. Bound to the sender of the
// datagram in hand by whoever received it.
class ReplyOut {
 public:
  virtual ~ReplyOut() = default;
  // False when the send failed; the rest of that datagram's handling is then dropped.
  virtual bool sendNow(std::string_view bytes) = 0;
  // False when the reply could not wait (its queue is full): it is dropped and counted.
  virtual bool sendLater(int delayMs, std::string bytes) = 0;
};

// The switch of whatever socket serves the unit (a listener thread's endpoint or a fleet's
// socket). Called from the operator's thread.
class UnitEndpoint {
 public:
  virtual ~UnitEndpoint() = default;
  virtual Status setActive(bool active) = 0;
  virtual bool active() const = 0;
};

// One simulated unit, without any window or timer: its device state, the read handler, the
// deadline ticks, its state files and traffic log, fault injection, and the operator's
// controls (inputs, levels with their sliders' clamping, auto mode, variant, battery range,
// endpoint switch). The window, a unit running alone and a fleet all drive this object.
//
// Threads: `handleDatagram` is for one thread at a time (the thread serving the unit's
// socket); every other method may be called from any thread. The device state is behind its
// lock; the ticks are brought up to the clock's now under that lock before anything reads or
// changes the state, so nothing needs to run periodically.
class Unit : private StateHost, private LineHooks {
 public:
  enum class InputAction { On, Off, Toggle };

  // `panel` receives the traffic texts of the reply path (null: not shown).
  Unit(UnitSettings settings, UnitClock& clock, PanelTextSink* panel = nullptr);
  ~Unit() override;
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;

  // The start-up load: settings file, defaults, state files (or the fresh identity), level
  // clamping through the sliders, working values, variant, one measurement tick; the deadline
  // ticks count from here. Call once, before any traffic.
  void load();
  // Both state files from one snapshot, each replaced whole. `fs` lets tests fail a step.
  Status save(FileSystem& fs = posixFileSystem());
  // The state files that existed but could not be read at start: a save leaves them as they
  // are, so nothing the user had is overwritten with defaults.
  const UnreadStateFiles& unreadFiles() const { return unread_; }
  // What to tell the operator about such files at close; empty when there are none.
  std::string keptFilesNotice() const;
  // The images of "VXS1.dat" and "VXS2.dat" as of now, from one snapshot, for a caller that
  // saves many units together.
  std::array<std::string, 2> stateImages();

  // The read handler for one received datagram.
  void handleDatagram(std::string_view datagram, ReplyOut& out);

  // Operator controls. Each brings the ticks up to now first.
  // Input bits 0 and 2..7; bit 1 follows the reset countdown (false, nothing changed).
  bool setInput(int bit, InputAction action);
  // A slider moved to `position`: clamped to its range; a real change writes the level
  // (temperature through the 1.5 factor) unless auto mode is on.
  void moveSlider(int level, int64_t position);
  // The window's slider reported a new value: writes the level unless auto mode is on.
  void sliderChange(int level, int value);
  // A level typed as a value: its slider goes to the level's position. False in auto mode.
  bool setLevel(int level, int value);
  // A level entered by the console or the API: as `setLevel`, and the level is written from
  // that position even when the slider stood there already (auto mode may have moved the
  // level and left the slider), so it reads what was asked, within the slider's range.
  bool enterLevel(int level, int value);
  void setAuto(bool on);
  void setVariant(int tag);                            // 2, 3 or 4
  void setBattery(int item) { battery_.store(item); }  // 0, 1, 2 (display only)
  int battery() const { return battery_.load(); }
  Status setEndpointActive(bool active);
  bool endpointActive() const;
  // For a host whose endpoint is switched outside the unit (the window's check box): tells
  // the observer.
  void endpointSwitched(bool active) {
    notify(UnitEvent::Kind::EndpointSwitched, {}, 0, active ? 1 : 0);
  }
  void setFaults(const FaultSettings& faults);
  FaultSettings faults() const;

  // A level driven by a scenario (see UnitScenario). While claimed, the operator's level
  // operations leave it alone (setLevel answers false, a slider's move only records its
  // position) and auto mode's 2 s draw skips it; `driveLevel` writes it through the slider's
  // rule (clamping, the temperature factor) even in auto mode. `source` says what drives it
  // ("scenario sine"); releasing hands the level back with its last value.
  void claimLevel(int level, std::string source);
  void releaseLevel(int level);
  std::string levelSource(int level) const;  // empty: the operator's
  void driveLevel(int level, int value);
  // Holds the reset input for `seconds`, as an accepted rst does.
  void holdReset(int seconds);
  // The scenario of this unit, for the thread that drives the unit (a fleet's loop, the
  // window's GUI thread); never null.
  UnitScenario& scenario() { return *scenario_; }
  // A fresh unit's state (its fresh identity included), with its scenario stopped, auto mode
  // off, the sliders moved to the default levels, variant 4, the first battery range and no
  // faults. For the thread that drives the unit, as its scenario is. The endpoint
  // and the counters are left as they are.
  void resetToDefaults();
  // Requests dropped, replies delayed, replies corrupted.
  std::array<uint64_t, 3> faultCounts() const;

  // The live state as of now, after the ticks are brought up to date.
  struct Reading {
    uint16_t inputs;
    int16_t nv[3];
    bool autoMode;
    int32_t variant;
    int32_t countdown;
    uint16_t token;
    bool resetHeld;
    std::string flagsText;
    std::string measureText;
  };
  Reading read();
  // Brings the ticks up to now.
  void catchUp();
  // For whoever needs more than `read`: the device state behind its lock. Call `catchUp`
  // first when the live part matters.
  DeviceState& state() { return state_; }

  int number() const { return settings_.number; }
  const UnitSettings& settings() const { return settings_; }
  int cycleIntervalMs() const { return cycleIntervalMs_; }  // "Ciclo" x 1000 from VX.ini
  const std::string& versionDateText() const { return versionDate_; }
  int sliderPosition(int level) const { return sliders_[level].load(); }
  const UnitCounters& counters() const { return counters_; }
  // Lines left unanswered by the per-datagram reply limit.
  uint64_t linesUnanswered() const { return handler_.linesUnanswered(); }

  // Set before traffic starts; null to stop. See UnitObserver for what it may do.
  void setObserver(UnitObserver* observer) { observer_.store(observer); }
  void setEndpoint(UnitEndpoint* endpoint) { endpoint_ = endpoint; }

 private:
  // StateHost: the start-up load's calls.
  void setCycleInterval(int milliseconds) override { cycleIntervalMs_ = milliseconds; }
  void moveLevelSliders() override;
  void ShowConfig() override {}
  void setVersionTexts(const std::string&, const std::string& date) override {
    versionDate_ = date;
  }
  void seedRandom() override;
  void selectStartVariant() override;
  void switchEndpointOn() override {}
  void measurementTick() override;
  void setCycleTimerEnabled(bool) override {}
  // LineHooks
  void beforeLine(DeviceData& d) override;
  void lineHandled(std::string_view line, std::string_view body,
                   const ConfigDisplay* written) override;

  void notify(UnitEvent::Kind kind, std::string_view text = {}, int index = 0, int value = 0);
  void applyIdentity(DeviceData& d) const;
  FaultInjector* faultInjector() const { return faults_.load(std::memory_order_acquire); }

  // What a request touches comes first and together (the fleet's member puts its socket just
  // before), so a request to a unit that has gone cold in the caches misses as few lines as
  // can be; the settings, names and files come after.
  UnitClock& clock_;
  std::atomic<FaultInjector*> faults_{nullptr};
  std::atomic<UnitObserver*> observer_{nullptr};
  DeadlineTicks ticks_;  // under the device lock
  UnitCounters counters_;
  std::unique_ptr<TrafficLog> log_;
  DatagramHandler handler_;
  DeviceState state_;
  SmallRandom random_;  // under the device lock
  const UnitSettings settings_;
  std::array<std::atomic<int>, 3> sliders_{};  // the sliders' positions, all 0 before the load
  std::atomic<int> battery_{0};
  int cycleIntervalMs_ = 0;
  std::string versionDate_;
  UnreadStateFiles unread_;  // set by the load, read-only afterwards
  UnitEndpoint* endpoint_ = nullptr;
  // Created on the first fault setting and kept: most units never carry one.
  mutable std::mutex faultsCreation_;
  std::unique_ptr<FaultInjector> faultsOwner_;
  mutable std::mutex sourcesLock_;
  std::array<std::string, 3> sources_;  // under sourcesLock_; empty: the operator's
  std::unique_ptr<UnitScenario> scenario_;
};

}  // namespace vexa
