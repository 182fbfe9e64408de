#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <string>

#include "api_server.h"
#include "event_hub.h"
#include "owner_queue.h"
#include "simulator_unit.h"

namespace vexa {

// The HTTP interface of the running simulator, for the window and the headless program alike:
// the event hub, the owner queue drained on the GUI thread (an eventfd watched by a socket
// notifier), the unit adapter and the server. Built before the host starts, so the traffic tap
// sees the first datagram; started after. GUI thread only.
class ApiService {
 public:
  // Input, level and endpoint changes are looked for this often.
  static constexpr int kWatchIntervalMs = 50;

  ApiService(SimulatorHost& host, PanelView& view, SimulatorUnit::Controls controls,
             api::ApiServer::Options options);
  // Stops the server first, then the endpoint, whose listener thread calls the traffic tap.
  ~ApiService();

  // Starts listening; the error names the address.
  Status start();
  // "http://ADDR:PORT/" once started.
  std::string url() const;

 private:
  SimulatorHost& host_;
  api::EventHub hub_;
  api::OwnerQueue owner_;
  SimulatorUnit unit_;
  QSocketNotifier wake_;
  QTimer watch_;
  const std::string host_address_;
  api::ApiServer server_;
};

// The API the options ask for (null: none), built before the host starts.
std::unique_ptr<ApiService> makeApiService(const SimulatorHost::Network& network,
                                           SimulatorHost& host, PanelView& view,
                                           SimulatorUnit::Controls controls);
// Starts it after the host; says where it listens, or why it cannot, on stderr.
bool startApiService(ApiService& service);

}  // namespace vexa
