#include "line_reader.h"

#include <gtest/gtest.h>

#include <random>

#include "line_reader_model.h"

namespace vexa {
namespace {

std::vector<LineReader::Line> feedAll(LineReader& reader, const std::vector<std::string>& chunks) {
  std::vector<LineReader::Line> all;
  for (const std::string& chunk : chunks) {
    for (auto& line : reader.feed(chunk)) all.push_back(std::move(line));
    EXPECT_LE(reader.pending(), LineReader::kMaxLineLength);
  }
  return all;
}

// Every line length around the bound: up to it a line is given whole, beyond it the line is
// dropped with one report, and the next line reads as usual.
TEST(LineReader, EveryLengthAroundTheBound) {
  const size_t max = LineReader::kMaxLineLength;
  for (size_t length = 0; length <= max + 3; length += (length + 3 < max ? 509 : 1)) {
    LineReader reader;
    const std::string line(length, 'x');
    const auto got = reader.feed(line + "\nstatus\n");
    ASSERT_EQ(got.size(), 2u) << length;
    EXPECT_EQ(got[0].tooLong, length > max) << length;
    EXPECT_EQ(got[0].text, length > max ? "" : line) << length;
    EXPECT_FALSE(got[1].tooLong);
    EXPECT_EQ(got[1].text, "status");
    EXPECT_EQ(reader.pending(), 0u);
    EXPECT_FALSE(reader.discarding());
  }
}

// An over-long line is reported as soon as it passes the bound, before its line feed arrives,
// and only once however much more of it comes.
TEST(LineReader, AnOverLongLineIsReportedOnceAndAtOnce) {
  LineReader reader(8);
  EXPECT_TRUE(reader.feed("12345678").empty());
  EXPECT_EQ(reader.pending(), 8u);
  const auto first = reader.feed("9");
  ASSERT_EQ(first.size(), 1u);
  EXPECT_TRUE(first[0].tooLong);
  EXPECT_TRUE(reader.discarding());
  EXPECT_EQ(reader.pending(), 0u);
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(reader.feed(std::string(4096, 'y')).empty());
  EXPECT_EQ(reader.pending(), 0u);
  const auto rest = reader.feed("tail\nnext\n");
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].text, "next");
}

TEST(LineReader, KeepsEverythingButTheLineFeed) {
  LineReader reader;
  const auto got = reader.feed(std::string("a\r\n\n \t\x01\xFF\n", 9));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].text, "a\r");
  EXPECT_EQ(got[1].text, "");
  EXPECT_EQ(got[2].text, std::string(" \t\x01\xFF", 4));
}

// The end of the stream gives the last line without its line feed, unless it was over-long;
// either way the reader starts afresh.
TEST(LineReader, FinishGivesTheUnterminatedLastLine) {
  struct Case {
    std::string input;
    std::vector<std::string> atEnd;
  };
  const std::string overLong(LineReader::kMaxLineLength + 1, 'x');
  const Case cases[] = {
      {"quit", {"quit"}},
      {"a\nb", {"b"}},
      {"a\n", {}},
      {"", {}},
      {overLong, {}},
      {std::string(LineReader::kMaxLineLength, 'y'),
       {std::string(LineReader::kMaxLineLength, 'y')}},
  };
  for (const Case& c : cases) {
    LineReader reader;
    reader.feed(c.input);
    std::vector<std::string> got;
    for (const auto& line : reader.finish()) got.push_back(line.text);
    EXPECT_EQ(got, c.atEnd) << c.input.substr(0, 20);
    EXPECT_EQ(reader.pending(), 0u);
    EXPECT_FALSE(reader.discarding());
  }
}

// However the input is cut into feeds, the lines are those of the whole input.
TEST(LineReader, EveryCutOfTheInputGivesTheSameLines) {
  const std::string input = "one\n" + std::string(9, 'L') + "\n\nfour\n12345678\n123456789";
  const auto expected = testing::expectedLines(input, 8);
  for (size_t a = 0; a <= input.size(); ++a) {
    for (size_t b = a; b <= input.size(); ++b) {
      LineReader reader(8);
      std::vector<LineReader::Line> got;
      for (const auto& part : {input.substr(0, a), input.substr(a, b - a), input.substr(b)}) {
        for (auto& line : reader.feed(part)) got.push_back(std::move(line));
        ASSERT_LE(reader.pending(), 8u);
      }
      ASSERT_TRUE(testing::sameLines(got, expected)) << a << " " << b;
    }
  }
}

TEST(LineReader, RandomInputsMatchTheModel) {
  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    std::string input;
    const size_t size = rng() % 20000;
    for (size_t i = 0; i < size; ++i) input += rng() % 50 == 0 ? '\n' : static_cast<char>(rng());
    std::vector<std::string> chunks;
    for (size_t at = 0; at < input.size();) {
      const size_t n = 1 + rng() % 6000;
      chunks.push_back(input.substr(at, n));
      at += n;
    }
    LineReader reader;
    ASSERT_TRUE(testing::sameLines(feedAll(reader, chunks),
                                   testing::expectedLines(input, LineReader::kMaxLineLength)))
        << round;
  }
}

// 64 MiB without a line feed, as a console could be sent: one report, nothing held.
TEST(LineReader, AHugeLineWithoutALineFeedHoldsNoMemory) {
  LineReader reader;
  const std::string chunk(4096, 'z');
  size_t reports = 0;
  for (int i = 0; i < 16384; ++i) reports += reader.feed(chunk).size();
  EXPECT_EQ(reports, 1u);
  EXPECT_EQ(reader.pending(), 0u);
}

}  // namespace
}  // namespace vexa
