#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "unit_snapshot.h"

namespace vexa::api {

// Reading a change from a request body, and the JSON of refusals and of clamping. Pure.

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

}  // namespace vexa::api
