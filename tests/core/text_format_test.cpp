#include <gtest/gtest.h>

#include "text_format.h"

namespace vexa {
namespace {

TEST(HexText, PadsAndWidens) {
  EXPECT_EQ(HexText(10, 2), "0A");
  EXPECT_EQ(HexText(255, 1), "FF");
  EXPECT_EQ(HexText(4096, 2), "1000");
  EXPECT_EQ(HexText(-1, 2), "FFFFFFFF");
  EXPECT_EQ(HexText(0, 2), "00");
  EXPECT_EQ(HexText(0, 1), "0");
  EXPECT_EQ(HexText(-32767, 2), "FFFF8001");
  EXPECT_EQ(HexText(0xFFFFFFFFLL, 1), "FFFFFFFF");
  EXPECT_EQ(HexText(1, 10), "0000000001");
}

TEST(HexDump, TwoDigitsAndABlankPerByte) {
  EXPECT_EQ(HexDump(""), "");
  EXPECT_EQ(HexDump(std::string("\x00\x0A\xFF", 3)), "00 0A FF ");
}

TEST(Trimmed, RemovesControlBytesAndBlanksAtBothEndsOnly) {
  EXPECT_EQ(trimmed(std::string_view("\x00 a b\r\n\x1F", 8)), "a b");
  EXPECT_EQ(trimmed(" \t\r\n"), "");
  EXPECT_EQ(trimmed("\x7F"), "\x7F");  // DEL is above 0x20 and stays
  EXPECT_EQ(trimmed("\xA0x\xA0"), "\xA0x\xA0");
}

}  // namespace
}  // namespace vexa
