#include "change_json.h"

#include <cmath>
#include <sstream>

#include "reply_framing.h"
#include "scenario.h"
#include "unit_json.h"

namespace vexa::api {

using nlohmann::json;

namespace {

FieldError badField(const std::string& field, const std::string& message) {
  return FieldError{400, field, message, std::nullopt, std::nullopt};
}
FieldError outOfRange(const std::string& field, double min, double max) {
  std::ostringstream text;
  text << field << " must be from " << min << " to " << max;
  return FieldError{422, field, text.str(), min, max};
}

// Reads an integer member; a number with a fraction or another type is a 400, a value outside
// [min, max] a 422.
std::optional<FieldError> readInt(const json& value, const std::string& field, int64_t min,
                                  int64_t max, int& out) {
  if (!value.is_number_integer()) return badField(field, field + " must be a whole number");
  bool inRange = false;
  if (value.is_number_unsigned()) {
    const uint64_t u = value.get<uint64_t>();
    inRange = u <= static_cast<uint64_t>(max) && static_cast<int64_t>(u) >= min;
  } else {
    const int64_t v = value.get<int64_t>();
    inRange = v >= min && v <= max;
  }
  if (!inRange) return outOfRange(field, double(min), double(max));
  out = static_cast<int>(value.get<int64_t>());
  return std::nullopt;
}

std::optional<FieldError> readBool(const json& value, const std::string& field, bool& out) {
  if (!value.is_boolean()) return badField(field, field + " must be true or false");
  out = value.get<bool>();
  return std::nullopt;
}

std::optional<FieldError> readProbability(const json& value, const std::string& field,
                                          std::optional<double>& out) {
  if (!value.is_number()) return badField(field, field + " must be a number");
  const double p = value.get<double>();
  if (!(p >= 0 && p <= 1)) return outOfRange(field, 0, 1);
  out = p;
  return std::nullopt;
}

// The input bit of a key: "0".."7" or an input's name; -1 for a number out of range, -2 for
// anything else.
int inputBitOf(const std::string& key) {
  for (int bit = 0; bit < 8; ++bit) {
    if (key == inputName(bit)) return bit;
  }
  if (key.empty() || key.size() > 3 || key.find_first_not_of("0123456789") != std::string::npos)
    return -2;
  const int bit = std::stoi(key);
  return bit <= 7 ? bit : -1;
}

std::optional<FieldError> parseInputs(const json& value, UnitChange& change) {
  if (!value.is_object()) return badField("inputs", "inputs must be an object of bits");
  for (const auto& [key, on] : value.items()) {
    const std::string field = "inputs." + key;
    const int bit = inputBitOf(key);
    if (bit == -1) return outOfRange(field, 0, 7);
    if (bit == -2) return badField(field, "unknown input " + key);
    bool set = false;
    if (auto e = readBool(on, field, set)) return e;
    change.inputs[bit] = set;
  }
  return std::nullopt;
}

std::optional<FieldError> parseLevels(const json& value, UnitChange& change) {
  if (!value.is_object()) return badField("levels", "levels must be an object");
  for (const auto& [key, level] : value.items()) {
    const std::string field = "levels." + key;
    int index = -1;
    for (int i = 0; i < kLevelCount; ++i) {
      if (key == kLevelInfo[i].name) index = i;
    }
    if (index < 0) return badField(field, "unknown level " + key + " (bat, temp, umid)");
    int v = 0;
    // Levels are signed 16-bit values; the slider then holds them in its own range.
    if (auto e = readInt(level, field, -32768, 32767, v)) return e;
    change.levels[index] = v;
  }
  return std::nullopt;
}

std::optional<FieldError> parseFaults(const json& value, UnitChange& change) {
  if (!value.is_object()) return badField("faults", "faults must be an object");
  FaultChange faults;
  for (const auto& [key, v] : value.items()) {
    const std::string field = "faults." + key;
    if (key == "drop") {
      if (auto e = readProbability(v, field, faults.drop)) return e;
    } else if (key == "corrupt") {
      if (auto e = readProbability(v, field, faults.corrupt)) return e;
    } else if (key == "delay_ms" || key == "jitter_ms") {
      int ms = 0;
      if (auto e = readInt(v, field, 0, 600000, ms)) return e;
      (key == "delay_ms" ? faults.delayMs : faults.jitterMs) = ms;
    } else {
      return badField(field, "unknown field " + field);
    }
  }
  change.faults = faults;
  return std::nullopt;
}

std::optional<FieldError> parseMember(const std::string& key, const json& value,
                                      UnitChange& change) {
  if (key == "inputs") return parseInputs(value, change);
  if (key == "levels") return parseLevels(value, change);
  if (key == "faults") return parseFaults(value, change);
  if (key == "toggle") {
    if (!value.is_array()) return badField(key, "toggle must be an array of input bits");
    for (size_t i = 0; i < value.size(); ++i) {
      int bit = 0;
      if (auto e = readInt(value[i], "toggle." + std::to_string(i), 0, 7, bit)) return e;
      change.toggles.push_back(bit);
    }
    return std::nullopt;
  }
  bool on = false;
  if (key == "auto") {
    if (auto e = readBool(value, key, on)) return e;
    change.autoMode = on;
    return std::nullopt;
  }
  if (key == "endpoint") {
    if (auto e = readBool(value, key, on)) return e;
    change.endpoint = on;
    return std::nullopt;
  }
  if (key == "variant") {
    std::string caption;
    if (value.is_string()) {
      caption = value.get<std::string>();
    } else if (value.is_number_integer()) {
      caption = std::to_string(value.get<int64_t>());
    } else {
      return badField(key, "variant must be \"110\", \"130\" or \"150\"");
    }
    const auto code = variantFromCaption(caption);
    if (!code) {
      return FieldError{422, key, "variant must be 110, 130 or 150", std::nullopt, std::nullopt};
    }
    change.variantCode = *code;
    return std::nullopt;
  }
  if (key == "battery") {
    int item = 0;
    if (auto e = readInt(value, key, 0, 2, item)) return e;
    change.batteryItem = item;
    return std::nullopt;
  }
  return badField(key, "unknown field " + key);
}

}  // namespace

std::string errorBody(const FieldError& error) {
  json body{{"status", error.status}, {"message", error.message}};
  if (!error.field.empty()) body["field"] = error.field;
  // A whole-number bound reads as one (0, not 0.0).
  auto bound = [](double v) {
    return v == std::floor(v) ? json(static_cast<int64_t>(v)) : json(v);
  };
  if (error.min) body["min"] = bound(*error.min);
  if (error.max) body["max"] = bound(*error.max);
  return dumpJson(json{{"error", body}});
}

std::variant<UnitChange, FieldError> parseChange(std::string_view body) {
  const json value = json::parse(body, nullptr, false);
  if (value.is_discarded()) return badField("", "the body is not valid JSON");
  if (!value.is_object()) return badField("", "the body must be a JSON object");
  UnitChange change;
  for (const auto& [key, member] : value.items()) {
    if (auto e = parseMember(key, member, change)) return *e;
  }
  return change;
}

json clampedJson(const ChangeResult& result) {
  json clamped = json::array();
  for (const Clamp& c : result.clamped) {
    clamped.push_back({{"field", c.field}, {"requested", c.requested}, {"applied", c.applied}});
  }
  return clamped;
}

}  // namespace vexa::api
