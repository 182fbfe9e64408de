#include "traffic_tap.h"

#include "config_display.h"
#include "reply_framing.h"
#include "text_format.h"

namespace vexa::api {

namespace {
// The new values a write command left in the configuration, as event members.
std::string writtenValues(size_t command, const DeviceState& state) {
  const auto [display, scale, ajTemp, ajUmid] = state.locked([](const DeviceData& d) {
    return std::tuple{configDisplayOf(d), d.WorkScale, d.WorkAjTemp, d.WorkAjUmid};
  });
  const std::string_view name = kCommandNames[command];
  if (name == "wPr") {
    return "\"ip\":" + jsonText(display.texts[1]) + ",\"mask\":" + jsonText(display.texts[2]) +
           ",\"gateway\":" + jsonText(display.texts[3]);
  }
  if (name == "wMc") return "\"mac\":" + jsonText(display.texts[0]);
  return "\"scale\":" + std::to_string(scale) + ",\"aj_temp\":" + std::to_string(ajTemp) +
         ",\"aj_umid\":" + std::to_string(ajUmid);
}
}  // namespace

TrafficTap::TrafficTap(std::string unit, const DeviceState& state, EventSink& sink)
    : unit_(std::move(unit)), state_(state), sink_(sink) {}

void TrafficTap::datagramReceived(size_t bytes) {
  datagrams_.fetch_add(1, std::memory_order_relaxed);
  bytesReceived_.fetch_add(bytes, std::memory_order_relaxed);
}

void TrafficTap::lineHandled(std::string_view line, std::string_view body,
                             std::string_view framed) {
  const size_t command = commandIndexOf(body);
  lines_[command].fetch_add(1, std::memory_order_relaxed);
  replies_.fetch_add(1, std::memory_order_relaxed);
  bytesSent_.fetch_add(framed.size(), std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> lock(lastMutex_);
    lastLine_.assign(line);
    lastBody_.assign(body);
    lastFramed_.assign(framed);
  }
  if (!sink_.wanted()) return;
  UnitEvent events[3] = {
      {0, 0, unit_, EventKind::request, std::string(line), {}, {}},
      {0, 0, unit_, EventKind::reply, std::string(body), {}, std::string(framed)},
      {}};
  size_t count = 2;
  const std::string_view name = kCommandNames[command];
  if (name == "wPr" || name == "wMc" || name == "wSc") {
    events[count++] = UnitEvent{
        0, 0, unit_, EventKind::write, std::string(name), writtenValues(command, state_), {}};
  }
  sink_.publish(events, count);
}

UnitCounters TrafficTap::counters() const {
  UnitCounters c;
  c.datagrams = datagrams_.load();
  c.replies = replies_.load();
  c.bytesReceived = bytesReceived_.load();
  c.bytesSent = bytesSent_.load();
  for (size_t i = 0; i < lines_.size(); ++i) c.lines[i] = lines_[i].load();
  return c;
}

void TrafficTap::fillTraffic(UnitSnapshot& s) const {
  std::lock_guard<std::mutex> lock(lastMutex_);
  if (lastFramed_.empty()) return;
  s.traffic[0] = lastLine_ + " (" + std::to_string(lastLine_.size()) + ")";
  s.traffic[1] = lastBody_ + " (" + std::to_string(lastBody_.size() + 2) + ")";
  s.traffic[2] = std::string(trimmed(HexDump(lastFramed_)));
  s.traffic[3] =
      std::string(trimmed(lastFramed_)) + " (" + std::to_string(lastFramed_.size()) + ")";
  if (const auto decoded = decodeAnyReply(lastFramed_)) {
    s.versionText = std::string(versionTextOf(decoded->variantCode));
  }
}

}  // namespace vexa::api
