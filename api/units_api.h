#pragma once

#include <memory>
#include <string>
#include <vector>

#include "api_server.h"
#include "event_hub.h"
#include "owner_queue.h"
#include "unit_access.h"
#include "unit_event_bridge.h"
#include "units_registry.h"

namespace vexa::api {

// The HTTP interface over units numbered 1..N (a fleet's, or the window's one) with all it runs
// on: the event hub, the bridge every unit's observer feeds, the registry and the owner queue
// that carries the requests' work to the thread owning the units. That thread watches
// owner().fd() and calls owner().drain() (the fleet's loop, the window's socket notifier).
// Built before the units' traffic starts, so the first datagram is seen; owner thread only.
class UnitsApi {
 public:
  // `controls[i]` drives unit number i + 1; each unit's observer is the bridge from here on.
  UnitsApi(std::vector<std::unique_ptr<UnitControls>> controls, ApiServer::Options options);
  // Stops, then clears the units' observers: whatever else calls them must be stopped first.
  ~UnitsApi();
  UnitsApi(const UnitsApi&) = delete;
  UnitsApi& operator=(const UnitsApi&) = delete;

  OwnerQueue& owner() { return owner_; }

  // Starts listening; the error names the address.
  Status start() { return server_.start(); }
  // "http://ADDR:PORT/" once started.
  std::string url() const;
  // Refuses the requests still waiting for the owner, then stops the server. Safe to call twice.
  void stop();

 private:
  const std::vector<std::unique_ptr<UnitControls>> controls_;
  EventHub hub_;
  OwnerQueue owner_;
  UnitEventBridge bridge_;
  UnitsRegistry registry_;
  const std::string host_;
  ApiServer server_;
};

}  // namespace vexa::api
