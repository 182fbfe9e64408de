#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "clock.h"
#include "config_display.h"
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

// What the owner of the device learns of each request line. `beforeLine` runs under the device
// lock just before the line is interpreted (the owner brings its deadline ticks up to now);
// `lineHandled` runs after the lock is released, with the reply body (no terminator) and, after
// a write command, the new configuration texts. Neither may block or call back into the handler.
class LineHooks {
 public:
  virtual ~LineHooks() = default;
  virtual void beforeLine(DeviceData& d) = 0;
  virtual void lineHandled(std::string_view line, std::string_view body,
                           const ConfigDisplay* written) = 0;
};

// Turns a received datagram into its replies: cuts it into request lines, interprets each,
// frames the reply for the selected variant and sends it, showing and logging as it goes.
// One call at a time (the endpoint's listener thread); the panel and log sinks are optional.
class DatagramHandler {
 public:
  DatagramHandler(DeviceState& state, TickSource& ticks, PanelTextSink* panel = nullptr,
                  TrafficLogSink* log = nullptr, LineHooks* hooks = nullptr);

  // The endpoint's read handler. Never throws.
  void UDPUDPRead(std::string_view datagram, ReplySender& sender);

  // Answers at most `n` lines of one datagram; the lines beyond are neither carried out nor
  // answered, only counted. 0, the default, answers every line, as the device does (a datagram
  // of 8,190 bytes can then draw about 19 times as many bytes of replies). Set it before the
  // endpoint is switched on.
  void setMaxRepliesPerDatagram(size_t n) { maxReplies_ = n; }
  // Lines left unanswered by that limit so far; safe from any thread.
  uint64_t linesUnanswered() const { return linesUnanswered_.load(); }

  // Handles a datagram and returns its reply datagrams in order.
  std::vector<std::string> handle(std::string_view datagram);

 private:
  // The texts a datagram's handling builds. One set per thread, reused for every line of
  // every handler the thread serves: a fleet's units share its loop thread's set, so a request
  // writes no buffer of its own unit, and nothing is allocated once they have grown. So a
  // sender or a hook must not hand a datagram to any handler on the same thread.
  struct Scratch {
    std::string line;
    std::string body;
    std::string framed;
    std::string display;
  };
  static Scratch& scratch();

  bool handleLine(std::string_view line, ReplySender& sender, Scratch& s);
  void show(PanelText id, std::string_view text, size_t length, Scratch& s);

  DeviceState& state_;
  TickSource& ticks_;
  PanelTextSink* panel_;
  TrafficLogSink* log_;
  LineHooks* hooks_;
  size_t maxReplies_ = 0;
  std::atomic<uint64_t> linesUnanswered_{0};
};

}  // namespace vexa
