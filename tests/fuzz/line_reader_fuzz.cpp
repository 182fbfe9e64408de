// Any bytes, cut into feeds at any points, into the console's line reader: it gives exactly the
// lines of the whole input, never holds more than its bound, and reports each over-long line
// once.
#include <cstdlib>

#include "../util/line_reader_model.h"
#include "line_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte picks a small bound, so over-long lines come up often; the second the size
  // of the feeds.
  const size_t bound = 1 + data[0] % 64;
  const size_t step = 1 + data[1];
  const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
  vexa::LineReader reader(bound);
  std::vector<vexa::LineReader::Line> got;
  for (size_t at = 0; at < input.size(); at += step) {
    for (auto& line : reader.feed(input.substr(at, step))) got.push_back(std::move(line));
    if (reader.pending() > bound) std::abort();
  }
  for (const auto& line : got) {
    if (line.text.size() > bound || line.text.find('\n') != std::string::npos) std::abort();
    if (line.tooLong && !line.text.empty()) std::abort();
  }
  if (!vexa::testing::sameLines(got, vexa::testing::expectedLines(input, bound))) std::abort();
  return 0;
}
