#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "line_reader.h"

namespace vexa::testing {

// What LineReader must give for a whole input, however it is cut into feeds: each finished line
// of at most `maxLength` bytes, one "too long" for each longer line, finished or not.
inline std::vector<LineReader::Line> expectedLines(std::string_view input, size_t maxLength) {
  std::vector<LineReader::Line> lines;
  while (true) {
    const size_t end = input.find('\n');
    const std::string_view line = input.substr(0, end);
    if (line.size() > maxLength) {
      lines.push_back({true, {}});
    } else if (end != std::string_view::npos) {
      lines.push_back({false, std::string(line)});
    }
    if (end == std::string_view::npos) return lines;
    input.remove_prefix(end + 1);
  }
}

inline bool sameLines(const std::vector<LineReader::Line>& a,
                      const std::vector<LineReader::Line>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].tooLong != b[i].tooLong || a[i].text != b[i].text) return false;
  }
  return true;
}

}  // namespace vexa::testing
