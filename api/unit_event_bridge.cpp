#include "unit_event_bridge.h"

#include <charconv>

#include "scenario.h"
#include "text_format.h"
#include "unit_json.h"

namespace vexa::api {

namespace {
// A display text as a JSON value: a number when it is one, else a string.
std::string jsonValue(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc() && end == text.data() + text.size() && !text.empty()) {
    return std::to_string(value);
  }
  return jsonText(text);
}

// The members of a write event from the written configuration ("mac ip mask gateway scale
// ajTemp ajUmid") and the command that wrote it.
std::string writtenMembers(std::string_view command, std::string_view texts) {
  std::array<std::string_view, 7> part{};
  size_t n = 0;
  while (!texts.empty() && n < part.size()) {
    const size_t space = texts.find(' ');
    part[n++] = texts.substr(0, space);
    texts = space == std::string_view::npos ? std::string_view() : texts.substr(space + 1);
  }
  if (command == "wPr") {
    return "\"ip\":" + jsonText(part[1]) + ",\"mask\":" + jsonText(part[2]) +
           ",\"gateway\":" + jsonText(part[3]);
  }
  if (command == "wMc") return "\"mac\":" + jsonText(part[0]);
  return "\"scale\":" + jsonValue(part[4]) + ",\"aj_temp\":" + jsonValue(part[5]) +
         ",\"aj_umid\":" + jsonValue(part[6]);
}
// An input, level or endpoint event: no text, its members only.
UnitEvent change(const std::string& unit, EventKind kind, std::string fields) {
  return UnitEvent{0, 0, unit, kind, {}, std::move(fields), {}};
}
}  // namespace

UnitEventBridge::UnitEventBridge(EventSink& sink, size_t count) : sink_(sink) {
  for (size_t i = 0; i < count; ++i) {
    slots_.push_back(std::make_unique<Slot>());
    slots_.back()->id = std::to_string(i + 1);
  }
}

UnitEventBridge::Slot* UnitEventBridge::slot(int number) const {
  if (number < 1 || static_cast<size_t>(number) > slots_.size()) return nullptr;
  return slots_[static_cast<size_t>(number) - 1].get();
}

TrafficBoxes UnitEventBridge::traffic(int number) const {
  const Slot* s = slot(number);
  if (!s) return {};
  std::lock_guard<std::mutex> lock(s->mutex);
  return s->boxes;
}

void UnitEventBridge::onUnitEvent(const vexa::UnitEvent& e) {
  Slot* s = slot(e.unit);
  if (!s) return;
  using Kind = vexa::UnitEvent::Kind;
  const bool wanted = sink_.wanted();
  switch (e.kind) {
    case Kind::RequestLine: {
      std::lock_guard<std::mutex> lock(s->mutex);
      s->boxes.line.assign(e.text);
      s->pendingWrite.clear();
      return;
    }
    case Kind::ReplyBody: {
      std::lock_guard<std::mutex> lock(s->mutex);
      s->boxes.body.assign(e.text);
      return;
    }
    case Kind::ConfigWritten: {
      std::lock_guard<std::mutex> lock(s->mutex);
      s->pendingWrite = writtenMembers(std::string_view(s->boxes.line).substr(0, 3), e.text);
      return;
    }
    case Kind::ReplyFramed: {
      // A line's request, reply and write go out together, under one lock of the sink, in the
      // order the unit handled them.
      UnitEvent events[3];
      size_t count = 0;
      {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->boxes.framed.assign(e.text);
        if (wanted) {
          events[count++] = UnitEvent{0, 0, s->id, EventKind::request, s->boxes.line, {}, {}};
          events[count++] =
              UnitEvent{0, 0, s->id, EventKind::reply, s->boxes.body, {}, std::string(e.text)};
          if (!s->pendingWrite.empty()) {
            events[count++] = UnitEvent{
                0, 0, s->id, EventKind::write, s->boxes.line.substr(0, 3), s->pendingWrite, {}};
          }
        }
        s->pendingWrite.clear();
      }
      if (count) sink_.publish(events, count);
      return;
    }
    case Kind::InputChanged:
      if (!wanted) return;
      sink_.publish(change(s->id, EventKind::input,
                           "\"bit\":" + std::to_string(e.index) + ",\"name\":\"" +
                               std::string(inputName(e.index)) +
                               "\",\"on\":" + (e.value ? "true" : "false")));
      return;
    case Kind::LevelChanged:
      if (!wanted || e.index < 0 || e.index > 2) return;
      sink_.publish(change(s->id, EventKind::level,
                           std::string("\"level\":\"") + kLevelInfo[e.index].name +
                               "\",\"value\":" + std::to_string(e.value)));
      return;
    case Kind::EndpointSwitched:
      if (!wanted) return;
      sink_.publish(change(s->id, EventKind::endpoint,
                           std::string("\"on\":") + (e.value ? "true" : "false")));
      return;
    case Kind::AutoChanged:
    case Kind::VariantChanged:
      return;  // shown in the unit's snapshot; no event kind of their own
  }
}

}  // namespace vexa::api
