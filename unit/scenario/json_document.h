#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

#include "json_fields.h"

namespace vexa {

// Parses a whole JSON document strictly: text that is no JSON fails with "line L, column C: ...",
// and a field given twice in one object with "its.path: duplicate field" (a plain parse would
// keep one of the two silently). Never throws.
bool parseJsonDocument(std::string_view text, nlohmann::json& out, JsonErrors& errors);

}  // namespace vexa
