#pragma once

#include "datagram_handler.h"
#include "udp_endpoint.h"

namespace vexa {

// The read handler's replies, sent from the endpoint to the sender of the datagram in hand.
class EndpointSender final : public ReplySender {
 public:
  EndpointSender(UdpEndpoint& endpoint, const Binding& to) : endpoint_(endpoint), to_(to) {}
  bool Send(std::string_view bytes) override {
    return endpoint_.Send(to_.senderAddress, to_.senderPort, bytes).ok();
  }

 private:
  UdpEndpoint& endpoint_;
  const Binding& to_;
};

}  // namespace vexa
