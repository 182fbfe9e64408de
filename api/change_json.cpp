#include "change_json.h"

#include <array>
#include <cmath>
#include <sstream>
#include <vector>

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

// A number's value when it is whole (5, 5.0, 1e20, 99999999999999999999); none for a number
// with a fraction or another type. Integers beyond 2^53 lose precision here, but every range
// read through it is far inside that.
std::optional<double> wholeNumber(const json& value) {
  if (value.is_number_unsigned()) return static_cast<double>(value.get<uint64_t>());
  if (value.is_number_integer()) return static_cast<double>(value.get<int64_t>());
  if (!value.is_number_float()) return std::nullopt;
  const double v = value.get<double>();
  if (std::trunc(v) != v) return std::nullopt;
  return v;
}

// Reads an integer member; a number with a fraction or another type is a 400, a whole number
// outside [min, max], however large, a 422.
std::optional<FieldError> readInt(const json& value, const std::string& field, int min, int max,
                                  int& out) {
  const std::optional<double> v = wholeNumber(value);
  if (!v) return badField(field, field + " must be a whole number");
  if (*v < min || *v > max) return outOfRange(field, min, max);
  out = static_cast<int>(*v);
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
  if (const auto named = inputBitNamed(key)) return *named;
  if (key.empty() || key.size() > 3 || key.find_first_not_of("0123456789") != std::string::npos)
    return -2;
  const int bit = std::stoi(key);
  return bit <= 7 ? bit : -1;
}

std::optional<FieldError> parseInputs(const json& value, UnitChange& change) {
  if (!value.is_object()) return badField("inputs", "inputs must be an object of bits");
  std::array<std::string, 8> given;  // the field that set each bit
  for (const auto& [key, on] : value.items()) {
    const std::string field = "inputs." + key;
    const int bit = inputBitOf(key);
    if (bit == -1) return outOfRange(field, 0, 7);
    if (bit == -2) {
      return badField(field, field +
                                 " is no input: 0 to 7, presenca (presença), reset, rede, "
                                 "rede2, rede3, reserva5, reserva6 or reserva7");
    }
    // "0", "presenca" and "presença" are one input: one of the two would go unsaid.
    if (!given[static_cast<size_t>(bit)].empty()) {
      return badField(field, field + " is given twice, as " + given[static_cast<size_t>(bit)]);
    }
    given[static_cast<size_t>(bit)] = field;
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

// Builds the document as nlohmann's own parser does, but stops at a key given twice in one
// object (which that parser would let the last one win) and keeps where a number too large for
// a double ended (which that parser refuses as no JSON).
class StrictReader : public json::json_sax_t {
 public:
  json root;
  std::string duplicate;   // the path of a key given twice
  size_t overflowEnd = 0;  // where a number beyond any double ends; 0: none
  std::string overflowToken;

  bool null() override { return add(json()); }
  bool boolean(bool v) override { return add(json(v)); }
  bool number_integer(number_integer_t v) override { return add(json(v)); }
  bool number_unsigned(number_unsigned_t v) override { return add(json(v)); }
  bool number_float(number_float_t v, const string_t&) override { return add(json(v)); }
  bool string(string_t& v) override { return add(json(std::move(v))); }
  bool binary(binary_t&) override { return false; }  // not in JSON text
  bool start_object(std::size_t) override { return open(json::object()); }
  bool start_array(std::size_t) override { return open(json::array()); }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }
  bool key(string_t& k) override {
    Open& top = open_.back();
    if (top.value->contains(k)) {
      duplicate = pathOf(k);
      return false;
    }
    top.key = k;
    top.member = &(*top.value)[k];
    return true;
  }
  bool parse_error(std::size_t position, const std::string& token,
                   const nlohmann::detail::exception& ex) override {
    if (ex.id == 406) {  // "number overflow": the token is the number, ending at `position`
      overflowEnd = position;
      overflowToken = token;
    }
    return false;
  }

 private:
  struct Open {
    json* value;
    std::string key;         // object: the member being read
    json* member = nullptr;  // object: where its value goes
  };

  // The path of member `k` of the innermost container ("levels.bat", "toggle.1.a"), built only
  // when needed: a path per container would cost the square of the depth.
  std::string pathOf(const std::string& k) const {
    std::string path;
    for (size_t i = 0; i + 1 < open_.size(); ++i) {
      const Open& o = open_[i];
      path += o.value->is_array() ? std::to_string(o.value->size() - 1) : o.key;
      path += '.';
    }
    return path + k;
  }
  // Puts `v` where the document is being read.
  json* place(json&& v) {
    if (open_.empty()) {
      root = std::move(v);
      return &root;
    }
    Open& top = open_.back();
    if (top.value->is_array()) {
      top.value->push_back(std::move(v));
      return &top.value->back();
    }
    *top.member = std::move(v);
    return top.member;
  }
  bool add(json&& v) {
    place(std::move(v));
    return true;
  }
  bool open(json&& v) {
    json* at = place(std::move(v));
    open_.push_back(Open{at, {}, nullptr});
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  std::vector<Open> open_;
};

// Numbers beyond any double that one body may hold: each costs another reading of the body.
constexpr int kMaxHugeNumbers = 16;

// The body as JSON, or why it is none. A number too large for a double (1e400, 400 digits) is
// a whole number far outside every range: it reads as 1e308 of its sign, which every field
// judges the same way.
std::variant<json, FieldError> readBody(std::string_view body) {
  std::string text(body);
  for (int huge = 0;; ++huge) {
    StrictReader reader;
    if (json::sax_parse(text, &reader)) return std::move(reader.root);
    if (!reader.duplicate.empty()) {
      return badField(reader.duplicate, reader.duplicate + " is given twice");
    }
    const size_t length = reader.overflowToken.size();
    const size_t start = reader.overflowEnd - length;
    if (length == 0 || reader.overflowEnd < length || reader.overflowEnd > text.size() ||
        text.compare(start, length, reader.overflowToken) != 0) {
      return badField("", "the body is not valid JSON");
    }
    if (huge == kMaxHugeNumbers) {
      return badField("", "the body holds more than " + std::to_string(kMaxHugeNumbers) +
                              " numbers beyond any range");
    }
    text.replace(start, length, text[start] == '-' ? "-1e308" : "1e308");
  }
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
    } else if (const auto number = wholeNumber(value)) {
      // Any other whole number is no variant; a huge one needs no digits to say so.
      if (std::abs(*number) < 1000) caption = std::to_string(static_cast<int>(*number));
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
  auto read = readBody(body);
  if (const FieldError* e = std::get_if<FieldError>(&read)) return *e;
  const json& value = std::get<json>(read);
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
