#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <string>

#include "datagram_handler.h"
#include "device_state.h"
#include "unit_event.h"
#include "unit_snapshot.h"

namespace vexa::api {

// Watches one unit's datagram handler: counts its traffic, keeps its last request and reply
// (the traffic boxes) and publishes request, reply and write events while anyone listens.
// The observer calls come from the handler's thread; the readers may run on any thread.
class TrafficTap final : public TrafficObserver {
 public:
  TrafficTap(std::string unit, const DeviceState& state, EventSink& sink);

  void datagramReceived(size_t bytes) override;
  void lineHandled(std::string_view line, std::string_view body, std::string_view framed) override;

  // The counts of datagrams, replies, bytes and lines (the fault counts are left at 0).
  UnitCounters counters() const;
  // Fills the snapshot's traffic boxes and version text from the latest line.
  void fillTraffic(UnitSnapshot& snapshot) const;

 private:
  const std::string unit_;
  const DeviceState& state_;
  EventSink& sink_;
  std::atomic<uint64_t> datagrams_{0}, replies_{0}, bytesReceived_{0}, bytesSent_{0};
  std::array<std::atomic<uint64_t>, kCommandNames.size()> lines_{};
  mutable std::mutex lastMutex_;
  std::string lastLine_, lastBody_, lastFramed_;
};

}  // namespace vexa::api
