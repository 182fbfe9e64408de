#include "unit_json.h"

#include <cmath>
#include <sstream>

#include "config_display.h"
#include "reply_framing.h"
#include "text_format.h"

namespace vexa::api {

using nlohmann::json;

namespace {

constexpr std::array<const char*, 8> kInputNames = {"presenca", "reset",    "rede",     "rede2",
                                                    "rede3",    "reserva5", "reserva6", "reserva7"};
constexpr std::array<const char*, 3> kLevelNames = {"bat", "temp", "umid"};
constexpr std::array<const char*, 3> kBatteryRanges = {"60 V", "120 V", "240 V"};

std::string bitsText(unsigned value) {
  std::string bits;
  for (int bit = 7; bit >= 0; --bit) bits += (value >> bit & 1u) ? '1' : '0';
  return bits;
}

template <class Bytes>
std::string hexOf(const Bytes& bytes) {
  std::string hex;
  hex.reserve(sizeof bytes * 2);
  const auto* p = reinterpret_cast<const uint8_t*>(&bytes);
  for (size_t i = 0; i < sizeof bytes; ++i) appendHex(hex, p[i], 2);
  return hex;
}

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
    if (key == kInputNames[bit]) return bit;
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
    for (int i = 0; i < 3; ++i) {
      if (key == kLevelNames[i]) index = i;
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

std::string_view inputName(int bit) {
  return kInputNames[static_cast<size_t>(bit & 7)];
}

std::string latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

std::string dumpJson(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json unitSummaryJson(const UnitSnapshot& u) {
  uint64_t lines = 0;
  for (const uint64_t n : u.counters.lines) lines += n;
  json levels = json::object();
  for (int i = 0; i < 3; ++i) levels[kLevelNames[i]] = u.live.Nv(i);
  return json{{"id", u.id},
              {"port", u.port},
              {"inputs", u.live.InputFlags() & 0xFF},
              {"inputs_bits", bitsText(u.live.InputFlags() & 0xFF)},
              {"clickable_inputs", u.clickableInputs},
              {"levels", levels},
              {"level_texts",
               {latin1ToUtf8(u.levelTexts[0]), latin1ToUtf8(u.levelTexts[1]),
                latin1ToUtf8(u.levelTexts[2])}},
              {"auto", u.autoMode},
              {"variant", std::string(variantCaption(u.variantCode))},
              {"endpoint", u.endpointOn},
              {"lines", lines}};
}

json unitJson(const UnitSnapshot& u) {
  DeviceData d;
  d.config = u.config;
  d.WorkScale = u.workScale;
  d.WorkAjTemp = u.workAjTemp;
  d.WorkAjUmid = u.workAjUmid;
  const ConfigDisplay shown = configDisplayOf(d);
  json marks = json::array();
  for (const uint8_t m : u.config.ConfigMarks) marks.push_back(m);
  const json config{{"mac", shown.texts[0]},
                    {"ip", shown.texts[1]},
                    {"mask", shown.texts[2]},
                    {"gateway", shown.texts[3]},
                    {"scale", u.workScale},
                    {"aj_temp", u.workAjTemp},
                    {"aj_umid", u.workAjUmid},
                    {"marks", marks},
                    {"version_date", versionDateText(u.config)},
                    {"raw", hexOf(u.config)}};

  const unsigned inputs = u.live.InputFlags() & 0xFF;
  json byName = json::object();
  for (int bit = 0; bit < 8; ++bit) byName[kInputNames[bit]] = (inputs >> bit & 1u) != 0;
  json levels = json::object();
  for (int i = 0; i < 3; ++i) {
    const int16_t nv = u.live.Nv(i);
    levels[kLevelNames[i]] = {{"value", nv}, {"text", latin1ToUtf8(u.levelTexts[i])}};
  }
  const int item = u.batteryItem;
  const json live{{"inputs", inputs},
                  {"inputs_bits", bitsText(inputs)},
                  {"inputs_by_name", byName},
                  {"clickable_inputs", u.clickableInputs},
                  {"levels", levels},
                  {"auto", u.autoMode},
                  {"battery", item},
                  {"battery_range", item >= 0 && item <= 2 ? json(kBatteryRanges[item]) : json()},
                  {"variant", std::string(variantCaption(u.variantCode))},
                  {"endpoint", u.endpointOn},
                  {"reset_countdown", u.resetCountdown},
                  {"token", u.token},
                  {"raw", hexOf(u.live)}};

  const json traffic{{"request", latin1ToUtf8(u.traffic[0])},
                     {"reply", latin1ToUtf8(u.traffic[1])},
                     {"framed_hex", u.traffic[2]},
                     {"framed", latin1ToUtf8(u.traffic[3])},
                     {"version", u.versionText}};
  const json faults{{"drop", u.faults.dropProbability},
                    {"delay_ms", u.faults.delayMs},
                    {"jitter_ms", u.faults.delayJitterMs},
                    {"corrupt", u.faults.corruptProbability}};
  json lines = json::object();
  for (size_t i = 0; i < kCommandNames.size(); ++i) lines[kCommandNames[i]] = u.counters.lines[i];
  const UnitCounters& c = u.counters;
  const json counters{
      {"datagrams", c.datagrams},
      {"replies", c.replies},
      {"bytes_received", c.bytesReceived},
      {"bytes_sent", c.bytesSent},
      {"lines", lines},
      {"faults", {{"dropped", c.dropped}, {"delayed", c.delayed}, {"corrupted", c.corrupted}}}};
  return json{{"id", u.id},         {"port", u.port},   {"config", config},    {"live", live},
              {"traffic", traffic}, {"faults", faults}, {"counters", counters}};
}

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

namespace {
// jsonText appended in place: the stream formats hundreds of thousands of these a second.
void appendJsonText(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '"';
  for (const unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}
}  // namespace

void appendEventJson(std::string& out, const UnitEvent& e, bool withFramed) {
  out += "{\"seq\":";
  appendDecimal(out, static_cast<int64_t>(e.seq));
  out += ",\"time_ns\":";
  appendDecimal(out, e.timeNs);
  out += ",\"unit\":";
  appendJsonText(out, e.unit);
  out += ",\"kind\":\"";
  out += eventKindName(e.kind);
  out += '"';
  switch (e.kind) {
    case EventKind::request:
      out += ",\"line\":";
      appendJsonText(out, e.text);
      break;
    case EventKind::reply:
      out += ",\"body\":";
      appendJsonText(out, e.text);
      if (withFramed) {
        out += ",\"framed\":";
        appendJsonText(out, e.framed);
      }
      break;
    case EventKind::write:
      out += ",\"command\":";
      appendJsonText(out, e.text);
      break;
    default:
      break;
  }
  if (!e.fields.empty()) {
    out += ',';
    out += e.fields;
  }
  out += '}';
}

std::string eventJson(const UnitEvent& e, bool withFramed) {
  std::string out;
  appendEventJson(out, e, withFramed);
  return out;
}

}  // namespace vexa::api
