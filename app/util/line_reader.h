#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// Cuts a byte stream (the operator console's standard input) into lines ended by a line feed,
// with a bound on the length of a line: a line of more than `maxLength` bytes (the line feed not
// counted) is discarded whole, and reported once, as soon as it passes the bound; reading goes on
// after its line feed. Memory stays within `maxLength` bytes however the input comes, and every
// byte is looked at once, so the cost is linear in the input. Not thread-safe; Qt-free.
class LineReader {
 public:
  // 4 KiB: far above any console command, small enough to hold whatever arrives.
  static constexpr size_t kMaxLineLength = 4096;

  struct Line {
    bool tooLong = false;  // an over-long line was discarded here; `text` is empty
    std::string text;      // the line without its line feed (a CR before it stays)
  };

  explicit LineReader(size_t maxLength = kMaxLineLength) : maxLength_(maxLength) {}

  // Takes the next bytes of the stream; returns the lines they complete, in order, and one
  // `tooLong` entry for each line that passed the bound.
  std::vector<Line> feed(std::string_view bytes);

  // Ends the stream: the unfinished last line, if any and not over-long, as a line of its own
  // (the last line of a file may lack its line feed).
  std::vector<Line> finish();

  // Bytes of an unfinished line held so far (never more than the bound).
  size_t pending() const { return current_.size(); }
  // Whether the rest of an over-long line is being discarded.
  bool discarding() const { return discarding_; }

 private:
  const size_t maxLength_;
  std::string current_;
  bool discarding_ = false;
};

}  // namespace vexa
