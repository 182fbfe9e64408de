#pragma once

#include <string>
#include <utility>

namespace vexa {

// The outcome of an operation that can fail: ok, or the error's text for whoever shows it.
class Status {
 public:
  static Status Ok() { return Status(); }
  static Status Error(std::string text) { return Status(std::move(text)); }

  bool ok() const { return !failed_; }
  const std::string& text() const { return text_; }

 private:
  Status() = default;
  explicit Status(std::string text) : failed_(true), text_(std::move(text)) {}
  bool failed_ = false;
  std::string text_;
};

}  // namespace vexa
