#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "api_address.h"
#include "fleet.h"
#include "units_api.h"

namespace vexa {

// Starts `api` and says where it listens, or why it cannot (then false), on stderr.
bool startAndSay(api::UnitsApi& api);

// Where the HTTP interface listens, from --api and --api-token (no address: none).
struct ApiOptions {
  std::optional<api::ApiAddress> address;
  std::string token;
  std::vector<std::string> allowedHosts;
  bool metricsPublic = false;
  unsigned maxConnections = 1024;
};

// Descriptors a run keeps for itself beyond its units' sockets and the interface: the console,
// the signals, the event loop's own, and the files a save opens.
constexpr size_t kRunReserveDescriptors = 64;
// The interface's own descriptors beyond its connections: the listener, its threads' wake-ups.
constexpr size_t kApiReserveDescriptors = 64;

// Open descriptors a run of `units` units with the interface `options` may need at most: with
// that limit, connections up to their cap never take the descriptors a save needs.
size_t descriptorsNeeded(size_t units, const ApiOptions& options);

// The server's options for `options` (whose address is set), this program's version.
api::ApiServer::Options serverOptions(ApiOptions options);

// The HTTP interface of a headless run: every unit of the fleet (ids are the unit numbers),
// their events through each unit's observer, and the requests' work carried to the fleet's
// loop through the owner queue, whose descriptor the loop watches. Built after the fleet's
// load and before its sockets open, so the first datagram is seen; loop thread only.
class FleetApi {
 public:
  FleetApi(Fleet& fleet, EventLoop& loop, ApiOptions options);
  // Stops the server and the units' observers; call while the loop no longer runs.
  ~FleetApi();
  FleetApi(const FleetApi&) = delete;
  FleetApi& operator=(const FleetApi&) = delete;

  // Starts listening; says where on stderr, or why it cannot (then false).
  bool start() { return startAndSay(api_); }

 private:
  EventLoop& loop_;
  api::UnitsApi api_;
};

// The interface the options ask for (null: none); says where it listens, or why it cannot, on
// stderr. `failed` is set when it was asked for and could not start.
std::unique_ptr<FleetApi> startFleetApi(Fleet& fleet, EventLoop& loop, ApiOptions options,
                                        bool& failed);

}  // namespace vexa
