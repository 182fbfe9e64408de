#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "clock.h"
#include "device_state.h"
#include "panel_texts.h"

namespace vexa {

// Sends one reply datagram to the sender of the request being handled.
class ReplySender {
 public:
  virtual ~ReplySender() = default;
  // False when the send failed; the rest of that datagram's handling is then dropped.
  virtual bool Send(std::string_view bytes) = 0;
};

// Watches the traffic of a handler: every datagram received and every line handled with its
// reply. Called on the handler's thread, outside the device lock; must not block.
class TrafficObserver {
 public:
  virtual ~TrafficObserver() = default;
  virtual void datagramReceived(size_t bytes) = 0;
  // `body` without its "\r\n"; `framed` as sent.
  virtual void lineHandled(std::string_view line, std::string_view body,
                           std::string_view framed) = 0;
};

// Turns a received datagram into its replies: cuts it into request lines, interprets each,
// frames the reply for the selected variant and sends it, showing and logging as it goes.
// One call at a time (the endpoint's listener thread); the panel and log sinks are optional.
class DatagramHandler {
 public:
  DatagramHandler(DeviceState& state, TickSource& ticks, PanelTextSink* panel = nullptr,
                  TrafficLogSink* log = nullptr);

  // The endpoint's read handler. Never throws.
  void UDPUDPRead(std::string_view datagram, ReplySender& sender);

  // Set before traffic flows (null: none).
  void setObserver(TrafficObserver* observer) { observer_ = observer; }

  // Handles a datagram and returns its reply datagrams in order.
  std::vector<std::string> handle(std::string_view datagram);

 private:
  bool handleLine(std::string_view line, ReplySender& sender);
  void show(PanelText id, std::string_view text, size_t length);

  DeviceState& state_;
  TickSource& ticks_;
  PanelTextSink* panel_;
  TrafficLogSink* log_;
  TrafficObserver* observer_ = nullptr;
  // Reused for every line, so a datagram costs no allocation once they have grown.
  std::string line_;
  std::string body_;
  std::string framed_;
  std::string scratch_;
};

}  // namespace vexa
