#include "unit.h"

#include <sys/stat.h>

#include <algorithm>

#include "bits.h"
#include "level_rules.h"
#include "live_ticks.h"
#include "unit_scenario.h"

namespace vexa {

namespace {

// Sends the handler's replies through the fault injection, when one is on, and counts them.
class CountingSender final : public ReplySender {
 public:
  using Framed = void (*)(Unit&, std::string_view);
  CountingSender(ReplyOut& out, FaultInjector* faults, UnitCounters& counters, Unit& unit,
                 Framed framed)
      : out_(out), faults_(faults), counters_(counters), unit_(unit), framed_(framed) {}
  bool Send(std::string_view bytes) override {
    UnitCounters::bump(counters_.replies);
    UnitCounters::bump(counters_.bytesOut, bytes.size());
    framed_(unit_, bytes);
    if (!faults_) return out_.sendNow(bytes);
    std::string reply(bytes);
    faults_->corruptReply(reply);
    if (const int delay = faults_->replyDelayMs(); delay > 0) {
      if (!out_.sendLater(delay, std::move(reply))) UnitCounters::bump(counters_.delayOverflow);
      return true;
    }
    return out_.sendNow(reply);
  }

 private:
  ReplyOut& out_;
  FaultInjector* faults_;
  UnitCounters& counters_;
  Unit& unit_;
  Framed framed_;
};

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

Unit::Unit(UnitSettings settings, UnitClock& clock, PanelTextSink* panel)
    : clock_(clock),
      log_(settings.LogEnabled ? std::make_unique<TrafficLog>(settings.paths.LogDir) : nullptr),
      handler_(state_, clock_, panel, log_.get(), this),
      settings_(std::move(settings)) {
  handler_.setMaxRepliesPerDatagram(settings_.maxRepliesPerDatagram);
  if (settings_.faults.any()) setFaults(settings_.faults);
  scenario_ = std::make_unique<UnitScenario>(*this);
}

Unit::~Unit() {
  scenario_->detach();  // a unit being destroyed is left as it is
}

void Unit::load() {
  const bool fresh = !fileExists(settings_.paths.configFile());
  unread_ = LoadState(state_, settings_.paths, *this);
  if (fresh && settings_.freshIdentity) {
    state_.locked([this](DeviceData& d) {
      applyIdentity(d);
      deriveWorkValues(d);
    });
  }
}

void Unit::applyIdentity(DeviceData& d) const {
  const UnitIdentity& id = *settings_.freshIdentity;
  if (id.mac) d.config.Mac = *id.mac;
  if (id.ip) d.config.Ip = *id.ip;
  if (id.mask) d.config.Mask = *id.mask;
  if (id.gateway) d.config.Gateway = *id.gateway;
  if (id.scale) {
    const auto v = static_cast<uint16_t>(*id.scale);
    d.config.ScaleLow = static_cast<uint8_t>(v & 0xFF);
    d.config.ScaleHigh = static_cast<uint8_t>(v >> 8);
  }
  if (id.ajTemp) d.config.AjTemp = *id.ajTemp;
  if (id.ajUmid) d.config.AjUmid = *id.ajUmid;
}

Status Unit::save(FileSystem& fs) {
  catchUp();  // bit 1 as the reset tick has left it
  // A file that exists but could not be read at start is left as it was.
  return FormClose(state_, settings_.paths, *this, fs, unread_);
}

std::string Unit::keptFilesNotice() const {
  return vexa::keptFilesNotice(settings_.paths, unread_);
}

std::array<std::string, 2> Unit::stateImages() {
  catchUp();
  const DeviceState::Snapshot snapshot = state_.snapshot();
  return {std::string(reinterpret_cast<const char*>(&snapshot.config), sizeof snapshot.config),
          std::string(reinterpret_cast<const char*>(&snapshot.live), sizeof snapshot.live)};
}

void Unit::moveLevelSliders() {
  for (int level = 0; level < 3; ++level) {
    const int16_t nv = state_.locked([&](const DeviceData& d) { return d.live.Nv(level); });
    moveSlider(level, sliderPositionOf(level, nv));
  }
}

void Unit::seedRandom() {
  const uint32_t seed =
      settings_.randomSeed ? settings_.randomSeed : SeededRandom::seedFromTimeOfDay();
  state_.locked([&](DeviceData&) { random_.reseed(seed); });
}

void Unit::selectStartVariant() {
  state_.locked([this](DeviceData& d) { d.VariantCode = settings_.startVariant; });
}

void Unit::measurementTick() {
  const int64_t now = clock_.nowMs();
  state_.locked([&](DeviceData& d) {
    measurementTickOn(d, random_);
    ticks_.start(now);
  });
}

void Unit::catchUp() {
  const int64_t now = clock_.nowMs();
  state_.locked([&](DeviceData& d) { ticks_.advance(d, now, random_); });
}

void Unit::beforeLine(DeviceData& d) {
  ticks_.advance(d, clock_.nowMs(), random_);
}

void Unit::lineHandled(std::string_view line, std::string_view body, const ConfigDisplay* written) {
  UnitCounters::bump(counters_.lines[UnitCounters::commandOf(line)]);
  if (!observer_.load(std::memory_order_acquire)) return;
  notify(UnitEvent::Kind::RequestLine, line);
  notify(UnitEvent::Kind::ReplyBody, body);
  if (written) {
    std::string text;
    for (const std::string& part : written->texts) {
      if (!text.empty()) text += ' ';
      text += part;
    }
    notify(UnitEvent::Kind::ConfigWritten, text);
  }
}

void Unit::notify(UnitEvent::Kind kind, std::string_view text, int index, int value) {
  if (UnitObserver* o = observer_.load(std::memory_order_acquire)) {
    o->onUnitEvent(UnitEvent{settings_.number, kind, text, index, value});
  }
}

void Unit::handleDatagram(std::string_view datagram, ReplyOut& out) {
  UnitCounters::bump(counters_.datagrams);
  UnitCounters::bump(counters_.bytesIn, datagram.size());
  FaultInjector* faults = faultInjector();
  if (faults && !faults->settings().any()) faults = nullptr;
  if (faults && faults->dropRequest()) return;
  CountingSender sender(out, faults, counters_, *this, [](Unit& u, std::string_view bytes) {
    u.notify(UnitEvent::Kind::ReplyFramed, bytes);
  });
  handler_.UDPUDPRead(datagram, sender);
}

bool Unit::setInput(int bit, InputAction action) {
  if (bit < 0 || bit > 7 || bit == kReset) return false;
  const int64_t now = clock_.nowMs();
  bool changed = false, set = false;
  state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);
    uint16_t flags = d.live.InputFlags();
    const bool was = BitIsSet(flags, bit);
    set = action == InputAction::Toggle ? !was : action == InputAction::On;
    changed = set != was;
    SetBit(flags, bit, set);
    d.live.setInputFlags(flags);
  });
  if (changed) notify(UnitEvent::Kind::InputChanged, {}, bit, set ? 1 : 0);
  return true;
}

void Unit::moveSlider(int level, int64_t position) {
  const int clamped = clampSliderPosition(level, position);
  const int64_t now = clock_.nowMs();
  bool wrote = false;
  int16_t nv = 0;
  state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);
    if (sliders_[level].load() == clamped) return;  // OnChange only on a real change
    sliders_[level].store(clamped);
    if (d.AutoMode || (ticks_.heldLevels() & (1u << level))) return;
    nv = levelOfSliderPosition(level, clamped);
    wrote = nv != d.live.Nv(level);
    d.live.setNv(level, nv);
  });
  if (wrote) notify(UnitEvent::Kind::LevelChanged, {}, level, nv);
}

void Unit::sliderChange(int level, int value) {
  const int64_t now = clock_.nowMs();
  bool wrote = false;
  int16_t nv = 0;
  state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);
    sliders_[level].store(value);
    if (d.AutoMode || (ticks_.heldLevels() & (1u << level))) return;
    nv = levelOfSliderPosition(level, value);
    wrote = nv != d.live.Nv(level);
    d.live.setNv(level, nv);
  });
  if (wrote) notify(UnitEvent::Kind::LevelChanged, {}, level, nv);
}

bool Unit::setLevel(int level, int value) {
  const bool refused = state_.locked([&](const DeviceData& d) {
    return d.AutoMode || (ticks_.heldLevels() & (1u << level)) != 0;
  });
  if (refused) return false;
  moveSlider(level, sliderPositionOf(level, value));
  return true;
}

bool Unit::enterLevel(int level, int value) {
  const int position = clampSliderPosition(level, sliderPositionOf(level, value));
  const int64_t now = clock_.nowMs();
  bool refused = false, wrote = false;
  int16_t nv = 0;
  state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);
    refused = d.AutoMode || (ticks_.heldLevels() & (1u << level)) != 0;
    if (refused) return;
    sliders_[level].store(position);
    nv = levelOfSliderPosition(level, position);
    wrote = nv != d.live.Nv(level);
    d.live.setNv(level, nv);
  });
  if (wrote) notify(UnitEvent::Kind::LevelChanged, {}, level, nv);
  return !refused;
}

void Unit::setAuto(bool on) {
  const int64_t now = clock_.nowMs();
  const bool changed = state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);
    const bool was = d.AutoMode;
    d.AutoMode = on;
    return was != on;
  });
  if (changed) notify(UnitEvent::Kind::AutoChanged, {}, 0, on ? 1 : 0);
}

void Unit::setVariant(int tag) {
  state_.locked([tag](DeviceData& d) { d.VariantCode = tag; });
  notify(UnitEvent::Kind::VariantChanged, {}, 0, tag);
}

Status Unit::setEndpointActive(bool active) {
  if (!endpoint_) return Status::Error("this unit has no endpoint");
  const bool was = endpoint_->active();
  Status status = endpoint_->setActive(active);
  if (endpoint_->active() != was) {
    notify(UnitEvent::Kind::EndpointSwitched, {}, 0, endpoint_->active() ? 1 : 0);
  }
  return status;
}

bool Unit::endpointActive() const {
  return endpoint_ && endpoint_->active();
}

void Unit::resetToDefaults() {
  // A fresh unit runs no scenario: its levels, endpoint and faults are handed back first.
  scenario_->stop();
  const int64_t now = clock_.nowMs();
  state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);
    d.config = DeviceConfig{};
    d.live = LiveRecord{};
    writeStartupDefaults(d);
    if (settings_.freshIdentity) applyIdentity(d);
    deriveWorkValues(d);
    d.ResetCountdown = 0;
    d.TickToken = 0;
  });
  setAuto(false);
  moveLevelSliders();
  setVariant(4);
  setBattery(0);
  setFaults(FaultSettings{});
}

void Unit::setFaults(const FaultSettings& faults) {
  FaultInjector* injector = faultInjector();
  if (!injector) {
    std::lock_guard<std::mutex> guard(faultsCreation_);
    injector = faultInjector();
    if (!injector) {
      faultsOwner_ = std::make_unique<FaultInjector>(settings_.faultSeed);
      injector = faultsOwner_.get();
      injector->configure(faults);
      faults_.store(injector, std::memory_order_release);
      return;
    }
  }
  injector->configure(faults);
}

FaultSettings Unit::faults() const {
  const FaultInjector* injector = faultInjector();
  return injector ? injector->settings() : FaultSettings{};
}

std::array<uint64_t, 3> Unit::faultCounts() const {
  const FaultInjector* injector = faultInjector();
  if (!injector) return {0, 0, 0};
  return {injector->dropped(), injector->delayed(), injector->corrupted()};
}

void Unit::claimLevel(int level, std::string source) {
  {
    std::lock_guard<std::mutex> guard(sourcesLock_);
    sources_[static_cast<size_t>(level)] = std::move(source);
  }
  const int64_t now = clock_.nowMs();
  state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);  // draws due before the claim still reach the level
    ticks_.setHeldLevels(ticks_.heldLevels() | (1u << level));
  });
}

void Unit::releaseLevel(int level) {
  const int64_t now = clock_.nowMs();
  state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);  // draws due while it was held skip it
    ticks_.setHeldLevels(ticks_.heldLevels() & ~(1u << level));
  });
  std::lock_guard<std::mutex> guard(sourcesLock_);
  sources_[static_cast<size_t>(level)].clear();
}

std::string Unit::levelSource(int level) const {
  std::lock_guard<std::mutex> guard(sourcesLock_);
  return sources_[static_cast<size_t>(level)];
}

void Unit::driveLevel(int level, int value) {
  const int clamped = clampSliderPosition(level, sliderPositionOf(level, value));
  const int64_t now = clock_.nowMs();
  bool wrote = false;
  int16_t nv = 0;
  state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);
    sliders_[level].store(clamped);
    nv = levelOfSliderPosition(level, clamped);
    wrote = nv != d.live.Nv(level);
    d.live.setNv(level, nv);
  });
  if (wrote) notify(UnitEvent::Kind::LevelChanged, {}, level, nv);
}

void Unit::holdReset(int seconds) {
  const int64_t now = clock_.nowMs();
  state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);
    // As rst: the countdown in 10 ms ticks; the reset tick raises input bit 1.
    d.ResetCountdown = std::clamp(seconds, 0, 86400) * 100;
  });
}

Unit::Reading Unit::read() {
  const int64_t now = clock_.nowMs();
  return state_.locked([&](DeviceData& d) {
    ticks_.advance(d, now, random_);
    return Reading{d.live.InputFlags(),  {d.live.Nv(0), d.live.Nv(1), d.live.Nv(2)},
                   d.AutoMode,           d.VariantCode,
                   d.ResetCountdown,     d.TickToken,
                   d.ResetCountdown > 0, d.FlagsText,
                   d.MeasureText};
  });
}

}  // namespace vexa
