#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "fleet_api.h"
#include "simulator_host.h"
#include "units_api.h"

namespace vexa {

// The HTTP interface of the window: its one unit (id "1"), whose events come through the
// unit's observer, and the requests' work carried to the GUI thread through the owner queue (an
// eventfd watched by a socket notifier), where it goes through the window's controls as the
// operator's clicks do. Built before the host starts, so the first datagram is seen; started
// after. GUI thread only.
class ApiService {
 public:
  // What the API needs of the window beyond the presenter: its auto check box and battery list.
  struct Widgets {
    std::function<void(bool)> setAuto;    // checks cbAut (its change runs cbAutClick)
    std::function<void(int)> setBattery;  // selects that item of cbBat
  };

  ApiService(SimulatorHost& host, PanelView& view, Widgets widgets, ApiOptions options);
  // Stops the server first, then the endpoint, whose listener thread calls the observer.
  ~ApiService();

  // Starts listening; says where on stderr, or why it cannot (then false).
  bool start() { return startAndSay(api_); }

 private:
  SimulatorHost& host_;
  api::UnitsApi api_;
  QSocketNotifier wake_;
};

// The API the options ask for (null: none), built before the host starts.
std::unique_ptr<ApiService> makeApiService(ApiOptions options, SimulatorHost& host, PanelView& view,
                                           ApiService::Widgets widgets);

}  // namespace vexa
