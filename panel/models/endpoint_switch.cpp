#include "endpoint_switch.h"

#include "endpoint_failure.h"

namespace vexa {

EndpointSwitch::EndpointSwitch(UdpEndpoint& endpoint, PanelView& view, FailureReport reportFailure)
    : endpoint_(endpoint), view_(view), reportFailure_(std::move(reportFailure)) {}

std::string EndpointSwitch::failureMessage(uint16_t port) {
  return endpointFailureText(port);
}

void EndpointSwitch::cbCT13Click() {
  const Status status = endpoint_.setActive(view_.endpointChecked());
  if (!status.ok() && reportFailure_) reportFailure_(failureMessage(endpoint_.DefaultPort()));
  // A view whose check box raises its click handler on a change re-enters here once; the
  // second pass finds Active already as checked and only sets the LED.
  view_.setEndpointChecked(endpoint_.Active());
  if (LedModel* led = view_.findLed("ldUDP")) led->setLedOn(endpoint_.Active());
}

}  // namespace vexa
