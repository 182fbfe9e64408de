#pragma once

#include <string>
#include <string_view>

#include "clock.h"
#include "device_state.h"

namespace vexa {

struct LineOutcome {
  bool configWritten = false;  // wPr, wMc or wSc ran: the configuration display is due
};

// Interprets one request line (characters 0x20..0x7F, no terminator) against the device
// state and appends the reply body, without terminator, to `body` (which it clears first).
// The caller holds the device lock for the whole call.
LineOutcome interpretLineInto(std::string& body, DeviceData& d, std::string_view line,
                              TickSource& ticks);

// The same, returning the reply body.
std::string InterpretLine(DeviceData& d, std::string_view line, TickSource& ticks);

}  // namespace vexa
