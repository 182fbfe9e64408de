#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "unit_event.h"
#include "unit_events.h"

namespace vexa::api {

// The last request line, reply body and framed reply of a unit: its four traffic boxes.
struct TrafficBoxes {
  std::string line, body, framed;
};

// Hears the units' own events (UnitObserver) and publishes them to the event sink as the
// interface's events: request, reply (with its framed bytes), write (with the new values),
// input, level and endpoint. A line's request, reply and write are published together once
// its reply is framed. It also keeps each unit's traffic boxes for its snapshot.
// Called on whatever thread caused the event; per unit, a short lock of its own and the sink's
// short lock, nothing more, so the listener or the loop never waits on a reader. Units are
// numbered 1..count; the event's unit id is the number in decimal.
class UnitEventBridge final : public UnitObserver {
 public:
  UnitEventBridge(EventSink& sink, size_t count);

  void onUnitEvent(const vexa::UnitEvent& event) override;

  // Any thread: unit `number`'s boxes as of now (empty before its first reply).
  TrafficBoxes traffic(int number) const;

 private:
  struct Slot {
    mutable std::mutex mutex;
    TrafficBoxes boxes;        // under mutex
    std::string pendingWrite;  // the write event's members, sent with the reply; under mutex
    std::string id;            // constant
  };
  Slot* slot(int number) const;

  EventSink& sink_;
  std::vector<std::unique_ptr<Slot>> slots_;
};

}  // namespace vexa::api
