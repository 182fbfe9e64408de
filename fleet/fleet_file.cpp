#include "fleet_file.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>

#include "bounded_read.h"
#include "reply_framing.h"

namespace vexa {

namespace {

using nlohmann::json;

// One field's error, to be prefixed with where it was found.
struct FieldError {
  std::string field;
  std::string text;
};

std::optional<std::array<uint8_t, 4>> dotted(const json& v) {
  in_addr a{};
  if (!v.is_string() || inet_pton(AF_INET, v.get<std::string>().c_str(), &a) != 1) {
    return std::nullopt;
  }
  std::array<uint8_t, 4> out{};
  std::memcpy(out.data(), &a.s_addr, 4);  // network order: first octet first
  return out;
}

// "00-01-02-03-04-05" or "00:01:02:03:04:05", hexadecimal.
std::optional<std::array<uint8_t, 6>> macOf(const json& v) {
  if (!v.is_string()) return std::nullopt;
  const std::string s = v.get<std::string>();
  if (s.size() != 17) return std::nullopt;
  std::array<uint8_t, 6> out{};
  for (size_t i = 0; i < 6; ++i) {
    if (i > 0 && s[i * 3 - 1] != '-' && s[i * 3 - 1] != ':') return std::nullopt;
    unsigned value = 0;
    for (size_t k = 0; k < 2; ++k) {
      const char c = s[i * 3 + k];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    out[i] = static_cast<uint8_t>(value);
  }
  return out;
}

std::optional<int64_t> integer(const json& v, int64_t min, int64_t max) {
  if (!v.is_number_integer()) return std::nullopt;
  const auto n = v.get<int64_t>();
  if (n < min || n > max) return std::nullopt;
  return n;
}

std::optional<FieldError> readFaults(const json& f, FaultSettings& faults) {
  if (!f.is_object()) return FieldError{"faults", "needs an object"};
  for (const auto& [key, v] : f.items()) {
    if (key == "drop" || key == "corrupt") {
      if (!v.is_number() || !(v.get<double>() >= 0 && v.get<double>() <= 1)) {
        return FieldError{"faults." + key, "needs a probability from 0 to 1"};
      }
      (key == "drop" ? faults.dropProbability : faults.corruptProbability) = v.get<double>();
    } else if (key == "delay") {
      const std::string text = v.is_string()           ? v.get<std::string>()
                               : v.is_number_integer() ? std::to_string(v.get<int64_t>())
                                                       : "?";
      if (!parseDelay(text, faults.delayMs, faults.delayJitterMs)) {
        return FieldError{"faults.delay", "needs milliseconds, or \"MS:JITTER\""};
      }
    } else {
      return FieldError{"faults." + key, "is not a fault (drop, delay, corrupt)"};
    }
  }
  return std::nullopt;
}

std::optional<FieldError> readIdentity(const json& f, UnitIdentity& id) {
  if (!f.is_object()) return FieldError{"identity", "needs an object"};
  for (const auto& [key, v] : f.items()) {
    const std::string field = "identity." + key;
    if (key == "ip" || key == "mask" || key == "gateway") {
      const auto a = dotted(v);
      if (!a) return FieldError{field, "needs a dotted IPv4 address"};
      (key == "ip" ? id.ip : key == "mask" ? id.mask : id.gateway) = a;
    } else if (key == "mac") {
      id.mac = macOf(v);
      if (!id.mac) return FieldError{field, "needs six hexadecimal bytes, as 00-01-02-00-00-05"};
    } else if (key == "scale") {
      const auto n = integer(v, -32768, 32767);
      if (!n) return FieldError{field, "needs a whole number from -32768 to 32767"};
      id.scale = static_cast<int16_t>(*n);
    } else if (key == "ajTemp" || key == "ajUmid") {
      const auto n = integer(v, 0, 255);
      if (!n) return FieldError{field, "needs a whole number from 0 to 255"};
      (key == "ajTemp" ? id.ajTemp : id.ajUmid) = static_cast<uint8_t>(*n);
    } else {
      return FieldError{field,
                        "is not an identity field (ip, mask, gateway, mac, scale, "
                        "ajTemp, ajUmid)"};
    }
  }
  return std::nullopt;
}

// Applies one object of unit fields (a unit, or the defaults) over `u`.
std::optional<FieldError> readUnit(const json& o, UnitPlan& u, bool allowIdentity) {
  if (!o.is_object()) return FieldError{"", "needs an object"};
  for (const auto& [key, v] : o.items()) {
    if (key == "address") {
      if (!dotted(v)) return FieldError{key, "needs a dotted IPv4 address"};
      u.address = v.get<std::string>();
    } else if (key == "port") {
      const auto n = integer(v, 1, 65535);
      if (!n) return FieldError{key, "needs a port from 1 to 65535"};
      u.port = static_cast<uint16_t>(*n);
    } else if (key == "variant") {
      const std::string caption = v.is_string()           ? v.get<std::string>()
                                  : v.is_number_integer() ? std::to_string(v.get<int64_t>())
                                                          : "?";
      const auto tag = variantFromCaption(caption);
      if (!tag) return FieldError{key, "needs 110, 130 or 150"};
      u.variant = *tag;
    } else if (key == "log") {
      if (!v.is_boolean()) return FieldError{key, "needs true or false"};
      u.log = v.get<bool>();
    } else if (key == "faults") {
      if (auto e = readFaults(v, u.faults)) return e;
    } else if (key == "scenario") {
      if (!v.is_string() || v.get<std::string>().empty()) {
        return FieldError{key, "needs the path of a scenario file"};
      }
      u.scenarioFile = v.get<std::string>();
    } else if (key == "scenario_offset") {
      if (!v.is_number() || !(v.get<double>() >= 0 && v.get<double>() <= 1e6)) {
        return FieldError{key, "needs seconds from 0 to 1000000"};
      }
      u.scenarioRun.offset = v.get<double>();
    } else if (key == "identity" && allowIdentity) {
      UnitIdentity id;
      if (auto e = readIdentity(v, id)) return e;
      u.identity = id;
    } else {
      return FieldError{key,
                        "is not a unit field (address, port, variant, log, faults, scenario, "
                        "scenario_offset" +
                            std::string(allowIdentity ? ", identity)" : ")")};
    }
  }
  return std::nullopt;
}

std::string describe(const std::string& where, const FieldError& e) {
  return e.field.empty() ? where + " " + e.text : where + ", field \"" + e.field + "\" " + e.text;
}

}  // namespace

std::optional<std::string> parseFleetText(const std::string& text, const UnitPlan& base,
                                          FleetPlan& plan) {
  const json doc = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded()) return std::string("is not valid JSON");
  if (!doc.is_object()) return std::string("needs a JSON object with \"units\"");
  UnitPlan defaults = base;
  for (const auto& [key, v] : doc.items()) {
    if (key == "defaults") {
      if (auto e = readUnit(v, defaults, false)) return describe("defaults", *e);
    } else if (key != "units") {
      return "field \"" + key + "\" is not known (defaults, units)";
    }
  }
  const auto units = doc.find("units");
  if (units == doc.end() || !units->is_array() || units->empty()) {
    return std::string("field \"units\" needs a list of at least one unit");
  }
  if (units->size() > static_cast<size_t>(kMaxUnits)) {
    return "field \"units\" holds more than " + std::to_string(kMaxUnits) + " units";
  }
  FleetPlan result;
  result.single = false;
  result.faultSeed = plan.faultSeed;
  std::set<std::pair<std::string, uint16_t>> endpoints;
  int number = 0;
  for (const json& entry : *units) {
    UnitPlan u = defaults;
    u.number = ++number;
    const std::string where = "unit " + std::to_string(number);
    if (auto e = readUnit(entry, u, true)) return describe(where, *e);
    if (!endpoints.insert({u.address, u.port}).second) {
      return where + ", field \"port\" repeats " + u.address + ":" + std::to_string(u.port) +
             " of an earlier unit";
    }
    result.units.push_back(u);
  }
  // Any address of a unit, and the all-addresses 0.0.0.0 on the same port, cannot both bind.
  for (const UnitPlan& u : result.units) {
    if (u.address != "0.0.0.0" && endpoints.count({"0.0.0.0", u.port})) {
      return "unit " + std::to_string(u.number) + ", field \"address\" " + u.address + ":" +
             std::to_string(u.port) + " clashes with 0.0.0.0 on the same port";
    }
  }
  plan = std::move(result);
  return std::nullopt;
}

std::optional<std::string> readFleetFile(const std::string& path, const UnitPlan& base,
                                         FleetPlan& plan) {
  // A FIFO or device named by mistake is refused, never waited on.
  const BoundedRead read = readRegularFile(path, kMaxFleetFileBytes);
  const std::string where = "fleet file " + path + ": ";
  if (read.outcome == BoundedRead::Outcome::Missing) return where + std::strerror(ENOENT);
  if (read.special && read.error != EISDIR) return where + "not a regular file";
  if (read.unreadable()) return where + std::strerror(read.error);
  if (read.truncated) {
    return where + "longer than " + std::to_string(kMaxFleetFileBytes) + " bytes";
  }
  if (auto e = parseFleetText(read.bytes, base, plan)) return where + *e;
  // A scenario's relative path is taken from the fleet file's folder.
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos) {
    for (UnitPlan& u : plan.units) {
      if (!u.scenarioFile.empty() && u.scenarioFile[0] != '/') {
        u.scenarioFile = path.substr(0, slash + 1) + u.scenarioFile;
      }
    }
  }
  return std::nullopt;
}

}  // namespace vexa
