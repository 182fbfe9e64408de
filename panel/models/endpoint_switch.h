#pragma once

#include <functional>
#include <string>

#include "panel_view.h"
#include "udp_endpoint.h"

namespace vexa {

// The operator's endpoint switch cbCT13 and its indicator ldUDP. GUI thread only.
class EndpointSwitch {
 public:
  using FailureReport = std::function<void(const std::string& message)>;
  EndpointSwitch(UdpEndpoint& endpoint, PanelView& view, FailureReport reportFailure);

  // Sets Active to the check box's state; on failure reports "Modbus\rErro na abertura da
  // porta <port>"; then makes the check box and ldUDP show whether the endpoint is active.
  void cbCT13Click();

  // The failure text for a port.
  static std::string failureMessage(uint16_t port);

 private:
  UdpEndpoint& endpoint_;
  PanelView& view_;
  FailureReport reportFailure_;
};

}  // namespace vexa
