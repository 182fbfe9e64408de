#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "unit_event.h"

namespace vexa::api {

// Turns a unit's inputs, levels and endpoint state into input, level and endpoint events by
// comparing each look with the one before, whatever changed them (an operator, the API, auto
// mode, the reset countdown). The first look only records. One thread (the unit's owner).
class ChangeWatch {
 public:
  ChangeWatch(std::string unit, EventSink& sink) : unit_(std::move(unit)), sink_(sink) {}

  void look(uint16_t inputs, const std::array<int16_t, 3>& levels, bool endpointOn);

 private:
  const std::string unit_;
  EventSink& sink_;
  bool seen_ = false;
  uint16_t inputs_ = 0;
  std::array<int16_t, 3> levels_{};
  bool endpointOn_ = false;
};

}  // namespace vexa::api
