#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace vexa::api {

enum class EventKind : uint8_t { request, reply, write, input, level, endpoint };
inline constexpr int kEventKindCount = 6;
std::string_view eventKindName(EventKind kind);
// The kind of that name; false when there is none.
bool eventKindOf(std::string_view name, EventKind& kind);

// One thing that happened at a unit. `text` is the request line, the reply body or the write
// command's name; `fields` holds the kind's other members as JSON members without braces
// (`"bit":5,"on":true`), so a publisher formats only what it knows. The hub sets seq and time.
struct UnitEvent {
  uint64_t seq = 0;    // one sequence over every unit, from 1, without gaps at the hub
  int64_t timeNs = 0;  // monotonic clock
  std::string unit;
  EventKind kind = EventKind::request;
  std::string text;
  std::string fields;
  std::string framed;  // reply: the framed bytes as sent
};

// Where units publish their events. `publish` never blocks for longer than a short lock and may
// be called from any thread; `wanted` says whether anyone listens, so a publisher can skip
// building events nobody reads.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual bool wanted() const = 0;
  virtual void publish(UnitEvent event) = 0;
  // Several events at once, in order (one lock for all); they are moved from.
  virtual void publish(UnitEvent* events, size_t count) {
    for (size_t i = 0; i < count; ++i) publish(std::move(events[i]));
  }
};

}  // namespace vexa::api
