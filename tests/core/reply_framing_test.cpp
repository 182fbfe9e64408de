#include <gtest/gtest.h>

#include "reply_framing.h"
#include "text_format.h"

namespace vexa {
namespace {

const std::string kBody = "wMc,000,\r\n";

TEST(FrameReply, WorkedExamplesOfTheThreeVariants) {
  struct Case {
    int32_t variant;
    uint16_t token;
    const char* dump;
    const char* version;
  };
  const Case cases[] = {
      {2, 0, "53 55 56 56 53 48 A0 77 8E 58 5D 5E 5F 5C 3E 3C ", "1.10"},
      {3, 12345, "53 55 58 56 53 6A 6E 5F 57 6E 59 8F 86 7D 67 6C 6D 6E 6B 4D 37 ", "1.30"},
      {4, 0, "53 55 5A 56 53 58 55 63 57 60 57 4E 38 3D 3E 3F 3C 1E 1C ", "1.50"},
      {4, 65535, "53 55 5A 56 53 59 6B 5D 57 6E 59 71 68 5F 49 4E 4F 50 4D 2F 19 ", "1.50"},
  };
  for (const Case& c : cases) {
    const FramedReply framed = FrameReply(kBody, c.variant, c.token);
    EXPECT_EQ(HexDump(framed.bytes), c.dump) << c.variant << " " << c.token;
    EXPECT_EQ(framed.version, c.version);
  }
}

// The header's length digit follows from T at each of its boundaries.
TEST(FrameReply, HeaderLengthAtEveryBoundaryOfT) {
  struct Case {
    uint16_t token;
    const char* header;
  };
  const Case cases[] = {{0, "0130,0,9,"},       {15, "0130,F,9,"},      {16, "0130,10,A,"},
                        {255, "0130,FF,A,"},    {256, "0130,100,B,"},   {4095, "0130,FFF,B,"},
                        {4096, "0130,1000,C,"}, {9299, "0130,2453,C,"}, {9300, "0130,0,9,"}};
  for (const Case& c : cases) {
    const auto decoded = decodeReply(FrameReply(kBody, 3, c.token).bytes, 3);
    ASSERT_TRUE(decoded) << c.token;
    EXPECT_EQ(decoded->headerToken, c.token % 9300);
    // Re-frame the header alone with the header shift to compare its text.
    const std::string bytes = FrameReply("", 3, c.token).bytes;
    std::string header;
    for (size_t i = 0; i < bytes.size(); ++i) {
      header += static_cast<char>(static_cast<uint8_t>(bytes[i]) - (i % 20) - 35);
    }
    EXPECT_EQ(header, c.header);
  }
}

TEST(FrameReply, UpperCasesOnlyInVariants3And4) {
  const std::string body = "rst,000,ack, \r\n";
  EXPECT_EQ(decodeReply(FrameReply(body, 2, 0).bytes, 2)->body, body);
  EXPECT_EQ(decodeReply(FrameReply(body, 3, 77).bytes, 3)->body, "RST,000,ACK, \r\n");
  EXPECT_EQ(decodeReply(FrameReply(body, 4, 9299).bytes, 4)->body, "RST,000,ACK, \r\n");
}

TEST(FrameReply, Variant2ShiftWrapsPastLongIndices) {
  const std::string body(600, 'A');
  const std::string bytes = FrameReply(body, 2, 0).bytes;
  ASSERT_EQ(bytes.size(), 606u);
  for (size_t i = 6; i < bytes.size(); ++i) {
    EXPECT_EQ(static_cast<uint8_t>(bytes[i]), static_cast<uint8_t>('A' + i + 35)) << i;
  }
}

// Against the rule written out byte by byte: bodies of every length up to past two of the
// framing's internal spans, with lower case, upper case, digits and high bytes, at tokens that
// give every header length.
TEST(FrameReply, MatchesTheByteRuleForEveryBodyLength) {
  auto modelOf = [](const std::string& body, int32_t variant, uint16_t token) {
    const uint16_t t = token % 9300;
    const std::string tText = HexText(t, 1);
    const size_t headerLength = 4 + 1 + tText.size() + 1 + 2;
    std::string out = (variant == 3 ? "0130," : "0150,") + tText + "," +
                      HexText(static_cast<int64_t>(headerLength), 1) + "," + body;
    for (size_t i = 0; i < out.size(); ++i) {
      auto c = static_cast<uint8_t>(out[i]);
      if (i >= headerLength && c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 32);
      const size_t base = i < headerLength ? 35 : t % 60;
      out[i] = static_cast<char>(static_cast<uint8_t>(c + i % 20 + base));
    }
    return out;
  };
  std::string body;
  for (size_t n = 0; n < 520; ++n) {
    for (int32_t variant : {3, 4}) {
      for (int value : {0, 15, 255, 4095, 9299, 12345, 65535}) {
        const auto token = static_cast<uint16_t>(value);
        ASSERT_EQ(FrameReply(body, variant, token).bytes, modelOf(body, variant, token))
            << "length " << n << " variant " << variant << " token " << token;
      }
    }
    body += static_cast<char>("aZz09,\r\n\xFF\x7F{`"[n % 12]);
  }
}

TEST(DecodeReply, RoundTripsEveryVariantAndTokenSample) {
  const std::string body = "RPR,000,C0.A8.00.FA,\r\n";
  for (int32_t v : {2, 3, 4}) {
    for (uint32_t token = 0; token < 65536; token += 97) {
      const auto framed = FrameReply(body, v, static_cast<uint16_t>(token));
      const auto decoded = decodeReply(framed.bytes, v);
      ASSERT_TRUE(decoded) << v << " " << token;
      EXPECT_EQ(decoded->body, body);
      const auto any = decodeAnyReply(framed.bytes);
      ASSERT_TRUE(any);
      EXPECT_EQ(any->variantCode, v);
    }
  }
}

TEST(DecodeReply, RefusesWhatIsNotAFramedReply) {
  EXPECT_FALSE(decodeReply("", 4));
  EXPECT_FALSE(decodeReply("hello", 3));
  EXPECT_FALSE(decodeReply(FrameReply(kBody, 3, 5).bytes, 4));  // wrong tag
  std::string bytes = FrameReply(kBody, 4, 300).bytes;
  bytes[9] = static_cast<char>(bytes[9] + 1);  // corrupt the length digit
  EXPECT_FALSE(decodeReply(bytes, 4));
}

}  // namespace
}  // namespace vexa
