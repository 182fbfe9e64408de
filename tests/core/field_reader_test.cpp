#include <gtest/gtest.h>

#include <random>

#include "field_reader.h"

namespace vexa {
namespace {

TEST(ParseField, ReadsDecimalAndHexadecimalFields) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"300", 300},
      {"-1", -1},
      {" 12", 12},
      {"12 ", 0},
      {"1,2", 0},
      {"$C0", 192},
      {"xC0", 192},
      {"0xC", 12},
      {"XC0", 192},
      {"0XfF", 255},
      {"", 0},
      {"   ", 0},
      {"+", 0},
      {"-", 0},
      {"$", 0},
      {"0x", 0},
      {"0", 0},
      {"012", 12},
      {"+7", 7},
      {"-05", -5},
      {"-$1", 0},
      {"$G", 0},
      {"12a", 0},
      {"00x1", 0},
      {"\t1", 0},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"2147483648", 0},
      {"$FFFFFFFF", -1},
      {"$100000000", 0},
      {"99999999999999999999", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseField(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ParseField, IsSafeForAnyTextOfAnyLength) {
  std::mt19937 rng(7);
  const std::string alphabet = " +-$xX0123456789abcdefgABCDEFG,\x7F";
  for (int round = 0; round < 20000; ++round) {
    std::string text(rng() % 40, ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    (void)ParseField(text);
  }
  EXPECT_EQ(ParseField(std::string(100000, '9')), 0);
  EXPECT_EQ(ParseField(std::string(100000, ' ') + "5"), 5);
}

TEST(FieldAt, TakesTheCharactersThatExist) {
  EXPECT_EQ(fieldAt("rPr000", 1, 3), "rPr");
  EXPECT_EQ(fieldAt("rPr000", 4, 3), "000");
  EXPECT_EQ(fieldAt("rPr00", 4, 3), "00");
  EXPECT_EQ(fieldAt("rPr", 4, 3), "");
  EXPECT_EQ(fieldAt("", 1, 3), "");
  EXPECT_EQ(fieldAt("abc", 0, 3), "");
}

}  // namespace
}  // namespace vexa
