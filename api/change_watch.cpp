#include "change_watch.h"

#include "unit_json.h"

namespace vexa::api {

namespace {
constexpr const char* kLevelNames[3] = {"bat", "temp", "umid"};
}

void ChangeWatch::look(uint16_t inputs, const std::array<int16_t, 3>& levels, bool endpointOn) {
  const bool first = !seen_;
  const uint16_t before = inputs_;
  const std::array<int16_t, 3> levelsBefore = levels_;
  const bool endpointBefore = endpointOn_;
  seen_ = true;
  inputs_ = inputs;
  levels_ = levels;
  endpointOn_ = endpointOn;
  if (first || !sink_.wanted()) return;
  for (int bit = 0; bit < 8; ++bit) {
    const bool on = inputs >> bit & 1;
    if (on == static_cast<bool>(before >> bit & 1)) continue;
    sink_.publish(UnitEvent{
        0,
        0,
        unit_,
        EventKind::input,
        {},
        "\"bit\":" + std::to_string(bit) + ",\"name\":\"" + std::string(inputName(bit)) +
            "\",\"on\":" + (on ? "true" : "false") + ",\"inputs\":" + std::to_string(inputs & 0xFF),
        {}});
  }
  for (int i = 0; i < 3; ++i) {
    if (levels[i] == levelsBefore[i]) continue;
    sink_.publish(UnitEvent{0,
                            0,
                            unit_,
                            EventKind::level,
                            {},
                            std::string("\"level\":\"") + kLevelNames[i] +
                                "\",\"value\":" + std::to_string(levels[i]) +
                                ",\"before\":" + std::to_string(levelsBefore[i]),
                            {}});
  }
  if (endpointOn != endpointBefore) {
    sink_.publish(UnitEvent{0,
                            0,
                            unit_,
                            EventKind::endpoint,
                            {},
                            std::string("\"on\":") + (endpointOn ? "true" : "false"),
                            {}});
  }
}

}  // namespace vexa::api
