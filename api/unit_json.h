#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "input_names.h"
#include "unit_event.h"
#include "unit_snapshot.h"

namespace vexa::api {

// The JSON forms of units, changes and events (see docs/api.md). Pure functions.

// A text of the panel (8-bit, Latin-1) as UTF-8, so any byte survives in JSON.
std::string latin1ToUtf8(std::string_view text);

// Serialises without ever throwing: invalid UTF-8 is replaced.
std::string dumpJson(const nlohmann::json& value);

// The whole unit: configuration decoded and raw, live values, traffic, faults, counters.
nlohmann::json unitJson(const UnitSnapshot& unit);
// The short form of the unit list and the dashboard's cards.
nlohmann::json unitSummaryJson(const UnitSnapshot& unit);

// One event as the `data:` line of a stream; a reply's framed bytes only `withFramed`.
std::string eventJson(const UnitEvent& event, bool withFramed = true);
void appendEventJson(std::string& out, const UnitEvent& event, bool withFramed);

}  // namespace vexa::api
