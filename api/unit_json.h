#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "unit_event.h"
#include "unit_snapshot.h"

namespace vexa::api {

// The JSON forms of units, changes and events (see docs/api.md). Pure functions.

// The names of input bits 0..7.
std::string_view inputName(int bit);

// A text of the panel (8-bit, Latin-1) as UTF-8, so any byte survives in JSON.
std::string latin1ToUtf8(std::string_view text);

// Serialises without ever throwing: invalid UTF-8 is replaced.
std::string dumpJson(const nlohmann::json& value);

// The whole unit: configuration decoded and raw, live values, traffic, faults, counters.
nlohmann::json unitJson(const UnitSnapshot& unit);
// The short form of the unit list and the dashboard's cards.
nlohmann::json unitSummaryJson(const UnitSnapshot& unit);

// Why a request body was refused: 400 (malformed, unknown field, wrong type) or 422 (a value
// out of range; min and max say the range).
struct FieldError {
  int status = 400;
  std::string field;
  std::string message;
  std::optional<double> min, max;
};
// A JSON error body: {"error":{"status":..,"message":..,"field":..,"min":..,"max":..}}.
std::string errorBody(const FieldError& error);

// Reads a change from a request body; nothing of it applies when there is an error.
std::variant<UnitChange, FieldError> parseChange(std::string_view body);

// The clamping report of an applied change.
nlohmann::json clampedJson(const ChangeResult& result);

// One event as the `data:` line of a stream; a reply's framed bytes only `withFramed`.
std::string eventJson(const UnitEvent& event, bool withFramed = true);
void appendEventJson(std::string& out, const UnitEvent& event, bool withFramed);

}  // namespace vexa::api
