#include "json_fields.h"

#include <cmath>
#include <cstring>

namespace vexa {

bool JsonErrors::fail(const std::string& path, const std::string& message) {
  if (text_.empty()) text_ = (path.empty() ? std::string("document") : path) + ": " + message;
  return false;
}

bool JsonErrors::failText(const std::string& text) {
  if (text_.empty()) text_ = text;
  return false;
}

JsonObject::JsonObject(const nlohmann::json& value, std::string path, JsonErrors& errors)
    : value_(value), path_(std::move(path)), errors_(errors) {
  if (!value_.is_object()) errors_.fail(path_, "must be an object");
}

std::string JsonObject::path(const std::string& key) const {
  return path_.empty() ? key : path_ + "." + key;
}

bool JsonObject::has(const char* key) const {
  return value_.is_object() && value_.contains(key);
}

bool JsonObject::only(std::initializer_list<const char*> keys) {
  if (!ok()) return false;
  for (const auto& [key, unused] : value_.items()) {
    bool known = false;
    for (const char* k : keys) known = known || key == k;
    if (!known) return fail(key, "unknown field");
  }
  return true;
}

bool JsonObject::require(const char* key) {
  return present(key, true) != nullptr;
}

bool JsonObject::fail(const std::string& key, const std::string& message) {
  return errors_.fail(path(key), message);
}

const nlohmann::json* JsonObject::present(const char* key, bool required) {
  if (!ok()) return nullptr;
  if (!value_.contains(key)) {
    if (required) fail(key, "missing");
    return nullptr;
  }
  return &value_[key];
}

bool JsonObject::number(const char* key, double& out, bool required) {
  const nlohmann::json* v = present(key, required);
  if (!v) return ok();
  if (!v->is_number()) return fail(key, "must be a number");
  out = v->get<double>();
  return true;
}

bool JsonObject::integer(const char* key, int64_t& out, int64_t min, int64_t max, bool required) {
  const nlohmann::json* v = present(key, required);
  if (!v) return ok();
  const std::string range = std::to_string(min) + ".." + std::to_string(max);
  if (!v->is_number()) return fail(key, "must be a whole number within " + range);
  const double d = v->get<double>();
  if (d != std::floor(d) || d < static_cast<double>(min) || d > static_cast<double>(max)) {
    return fail(key, "must be a whole number within " + range);
  }
  out = static_cast<int64_t>(d);
  return true;
}

bool JsonObject::unsignedInteger(const char* key, uint64_t& out, bool required) {
  const nlohmann::json* v = present(key, required);
  if (!v) return ok();
  if (v->is_number_unsigned()) {
    out = v->get<uint64_t>();
    return true;
  }
  if (v->is_number_integer() && v->get<int64_t>() >= 0) {
    out = static_cast<uint64_t>(v->get<int64_t>());
    return true;
  }
  return fail(key, "must be a whole number from 0 to 18446744073709551615");
}

bool JsonObject::text(const char* key, std::string& out, bool required) {
  const nlohmann::json* v = present(key, required);
  if (!v) return ok();
  if (!v->is_string()) return fail(key, "must be a string");
  out = v->get<std::string>();
  return true;
}

bool JsonObject::boolean(const char* key, bool& out, bool required) {
  const nlohmann::json* v = present(key, required);
  if (!v) return ok();
  if (!v->is_boolean()) return fail(key, "must be true or false");
  out = v->get<bool>();
  return true;
}

}  // namespace vexa
