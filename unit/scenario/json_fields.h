#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

namespace vexa {

// The first error found in a document, as "field.path: what is wrong".
class JsonErrors {
 public:
  // Records the error unless one is recorded already; always returns false.
  bool fail(const std::string& path, const std::string& message);
  // Records an error that belongs to no field (the text is no JSON).
  bool failText(const std::string& text);
  bool failed() const { return !text_.empty(); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Reads one JSON object field by field, naming each field by its full path ("levels.temp.period",
// "inputs[2].at"). Every reader returns false after recording an error; absent optional fields
// leave their output untouched.
class JsonObject {
 public:
  // `path` is the object's own path, empty for the document. Fails when `value` is no object.
  JsonObject(const nlohmann::json& value, std::string path, JsonErrors& errors);

  bool ok() const { return !errors_.failed(); }
  // The path of a field of this object.
  std::string path(const std::string& key) const;
  bool has(const char* key) const;
  const nlohmann::json& at(const char* key) const { return value_[key]; }

  // Fails naming the first field that is not in `keys`.
  bool only(std::initializer_list<const char*> keys);
  // A field the caller checks itself; fails when absent.
  bool require(const char* key);

  bool number(const char* key, double& out, bool required = true);
  // A whole number within [min, max] (1 and 1.0 are both whole).
  bool integer(const char* key, int64_t& out, int64_t min, int64_t max, bool required = true);
  bool unsignedInteger(const char* key, uint64_t& out, bool required = true);
  bool text(const char* key, std::string& out, bool required = true);
  bool boolean(const char* key, bool& out, bool required = true);

  // Records an error on a field of this object; returns false.
  bool fail(const std::string& key, const std::string& message);

 private:
  const nlohmann::json* present(const char* key, bool required);

  const nlohmann::json& value_;
  std::string path_;
  JsonErrors& errors_;
};

}  // namespace vexa
