#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

namespace vexa {

// One thing that happened on a unit, for whoever watches it (an event stream, a recorder).
struct UnitEvent {
  enum class Kind {
    RequestLine,       // text: the request line as received (0x20..0x7F)
    ReplyBody,         // text: the reply body before terminator and framing
    ConfigWritten,     // text: "mac ip mask gateway scale ajTemp ajUmid" after wPr/wMc/wSc
    InputChanged,      // index: input bit, value: 0 or 1
    LevelChanged,      // index: level 0..2, value: the new level
    EndpointSwitched,  // value: 1 active, 0 not
    AutoChanged,       // value: 1 on, 0 off
    VariantChanged,    // value: VariantCode 2, 3 or 4
    ReplyFramed,       // text: the reply's framed bytes as handed to the sender, after ReplyBody
  };
  int unit = 1;  // the unit's number (1 when alone)
  Kind kind = Kind::RequestLine;
  std::string_view text;  // valid only during the call
  int index = 0;
  int value = 0;
};

// Receives a unit's events, on the thread that caused them (the listener or loop thread for
// traffic, the operator's thread for controls). It must return quickly and never block or call
// back into the unit: copy what it needs into a bounded queue of its own and return.
class UnitObserver {
 public:
  virtual ~UnitObserver() = default;
  virtual void onUnitEvent(const UnitEvent& event) = 0;
};

// A unit's traffic counters. Written by the one thread handling the unit's traffic (so a
// plain load and store suffice, with no locked instruction per datagram), readable from any
// thread at any time (each counter on its own; a set read together may be a moment apart).
struct UnitCounters {
  // Lines per command, in this order; the last counts every other line.
  enum Command { kSnd, kRst, kRPr, kWPr, kWMc, kWSc, kOther, kCommandCount };
  static Command commandOf(std::string_view line);
  static std::string_view commandName(Command c);

  std::atomic<uint64_t> datagrams{0};
  std::atomic<uint64_t> bytesIn{0};
  std::atomic<uint64_t> replies{0};
  std::atomic<uint64_t> bytesOut{0};
  std::array<std::atomic<uint64_t>, kCommandCount> lines{};
  std::atomic<uint64_t> delayOverflow{0};  // delayed replies dropped on a full queue

  // The writing thread only.
  static void bump(std::atomic<uint64_t>& counter, uint64_t by = 1) {
    counter.store(counter.load(std::memory_order_relaxed) + by, std::memory_order_relaxed);
  }
};

inline UnitCounters::Command UnitCounters::commandOf(std::string_view line) {
  const std::string_view c = line.substr(0, 3);
  if (line.size() < 3) return kOther;
  if (c == "snd") return kSnd;
  if (c == "rst") return kRst;
  if (c == "rPr") return kRPr;
  if (c == "wPr") return kWPr;
  if (c == "wMc") return kWMc;
  if (c == "wSc") return kWSc;
  return kOther;
}

inline std::string_view UnitCounters::commandName(Command c) {
  constexpr std::string_view names[] = {"snd", "rst", "rPr", "wPr", "wMc", "wSc", "other"};
  return names[c];
}

}  // namespace vexa
