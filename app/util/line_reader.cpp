#include "line_reader.h"

#include <cstring>

namespace vexa {

std::vector<LineReader::Line> LineReader::feed(std::string_view bytes) {
  std::vector<Line> lines;
  while (!bytes.empty()) {
    const void* found = std::memchr(bytes.data(), '\n', bytes.size());
    const size_t end =
        found ? static_cast<size_t>(static_cast<const char*>(found) - bytes.data()) : bytes.size();
    const std::string_view part = bytes.substr(0, end);
    if (!discarding_) {
      if (current_.size() + part.size() > maxLength_) {
        lines.push_back({true, {}});
        current_.clear();
        discarding_ = true;
      } else {
        current_.append(part);
      }
    }
    if (!found) break;
    if (!discarding_) lines.push_back({false, std::move(current_)});
    current_.clear();
    discarding_ = false;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

std::vector<LineReader::Line> LineReader::finish() {
  std::vector<Line> lines;
  if (!discarding_ && !current_.empty()) lines.push_back({false, std::move(current_)});
  current_.clear();
  discarding_ = false;
  return lines;
}

}  // namespace vexa
