#include "reply_framing.h"

#include <algorithm>
#include <array>

#include "text_format.h"

namespace vexa {

namespace {

constexpr std::string_view kPrefix110 = "0110, ";
constexpr int kHeaderShift = 35;

// i mod 20 for i below 240.
constexpr std::array<unsigned char, 240> kMod20 = [] {
  std::array<unsigned char, 240> a{};
  for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<unsigned char>(i % 20);
  return a;
}();

char shifted(char c, int by) {
  return static_cast<char>(static_cast<uint8_t>(static_cast<uint8_t>(c) + by));
}

std::string_view tagOf(int32_t variantCode) {
  return variantCode == kVariant130 ? "0130" : "0150";
}

}  // namespace

std::string_view variantCaption(int32_t variantCode) {
  if (variantCode == kVariant110) return "110";
  return variantCode == kVariant130 ? "130" : "150";
}

std::optional<int32_t> variantFromCaption(std::string_view caption) {
  if (caption == "110") return kVariant110;
  if (caption == "130") return kVariant130;
  if (caption == "150") return kVariant150;
  return std::nullopt;
}

std::string_view versionTextOf(int32_t variantCode) {
  if (variantCode == kVariant110) return "1.10";
  return variantCode == kVariant130 ? "1.30" : "1.50";
}

std::string_view frameReplyInto(std::string& out, std::string_view reply, int32_t variantCode,
                                uint16_t tickToken) {
  out.clear();
  if (variantCode == kVariant110) {
    out.append(kPrefix110);
    out.append(reply);
    // The shift grows with the index without bound; the addition wraps modulo 256.
    for (size_t i = 0; i < out.size(); ++i) {
      out[i] = shifted(out[i], static_cast<int>((i + kHeaderShift) & 0xFF));
    }
    return versionTextOf(variantCode);
  }
  const uint16_t t = static_cast<uint16_t>(tickToken % 9300);
  const int bodyShift = t % 60;
  // Header: tag "," T "," L ",", where L counts the header itself (9 to 12: one hex digit).
  char header[16];
  char* p = header;
  for (char c : tagOf(variantCode)) *p++ = c;
  *p++ = ',';
  p = putHex(p, t, 1);
  *p++ = ',';
  const size_t headerLength = static_cast<size_t>(p - header) + 2;
  p = putHex(p, static_cast<int64_t>(headerLength), 1);
  *p++ = ',';
  out.assign(header, p);
  out.append(reply);
  // Byte i is shifted by (i mod 20) plus the body's base S, the body upper-cased; inside the
  // header the base is 35 instead. The header's bytes (digits, "A".."F", commas) are their own
  // upper case, so one loop takes every byte the body's way and the header is mended after.
  // The loop runs over spans of 240 bytes (a multiple of 20) against a table of i mod 20, a
  // shape the compiler vectorises.
  auto* bytes = reinterpret_cast<unsigned char*>(out.data());
  const size_t size = out.size();
  const auto shift = static_cast<unsigned char>(bodyShift);
  for (size_t base = 0; base < size; base += kMod20.size()) {
    const size_t n = std::min(kMod20.size(), size - base);
    unsigned char* span = bytes + base;
    for (size_t k = 0; k < n; ++k) {
      const unsigned char c = span[k];
      const unsigned char upper =
          static_cast<unsigned char>(c - (static_cast<unsigned char>(c - 'a') < 26u ? 32 : 0));
      span[k] = static_cast<unsigned char>(upper + kMod20[k] + shift);
    }
  }
  const auto headerFix = static_cast<unsigned char>(kHeaderShift - bodyShift);
  for (size_t i = 0; i < headerLength; ++i)
    bytes[i] = static_cast<unsigned char>(bytes[i] + headerFix);
  return versionTextOf(variantCode);
}

FramedReply FrameReply(std::string_view terminatedReply, int32_t variantCode, uint16_t tickToken) {
  FramedReply framed;
  framed.version = frameReplyInto(framed.bytes, terminatedReply, variantCode, tickToken);
  return framed;
}

std::optional<DecodedReply> decodeReply(std::string_view bytes, int32_t variantCode) {
  DecodedReply decoded{variantCode, 0, {}};
  if (variantCode == kVariant110) {
    std::string text(bytes);
    for (size_t i = 0; i < text.size(); ++i) {
      text[i] = shifted(text[i], -static_cast<int>((i + kHeaderShift) & 0xFF));
    }
    if (text.compare(0, kPrefix110.size(), kPrefix110) != 0) return std::nullopt;
    decoded.body = text.substr(kPrefix110.size());
    return decoded;
  }
  // Header: tag "," T "," L ",", each byte shifted by (index mod 20) + 35; at most 12 bytes.
  std::string header;
  int commas = 0;
  for (size_t i = 0; i < bytes.size() && i < 12 && commas < 3; ++i) {
    header += shifted(bytes[i], -(static_cast<int>(i % 20) + kHeaderShift));
    if (header.back() == ',') ++commas;
  }
  if (commas != 3) return std::nullopt;
  const std::string_view tag = tagOf(variantCode);
  if (header.compare(0, tag.size(), tag) != 0 || header.size() < 9 || header[4] != ',') {
    return std::nullopt;
  }
  const size_t tEnd = header.find(',', 5);
  const std::string_view tText = std::string_view(header).substr(5, tEnd - 5);
  if (tText.empty() || tText.size() > 4 || (tText.size() > 1 && tText[0] == '0')) {
    return std::nullopt;
  }
  uint32_t t = 0;
  for (char c : tText) {
    if (c >= '0' && c <= '9') {
      t = t * 16 + static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      t = t * 16 + static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
  }
  if (t >= 9300 || header.size() != tEnd + 3) return std::nullopt;
  if (HexText(static_cast<int64_t>(header.size()), 1) !=
      std::string_view(header).substr(tEnd + 1, 1)) {
    return std::nullopt;
  }
  decoded.headerToken = static_cast<uint16_t>(t);
  const int bodyShift = static_cast<int>(t % 60);
  for (size_t i = header.size(); i < bytes.size(); ++i) {
    decoded.body += shifted(bytes[i], -(static_cast<int>(i % 20) + bodyShift));
  }
  return decoded;
}

std::optional<DecodedReply> decodeAnyReply(std::string_view bytes) {
  for (int32_t v : {kVariant150, kVariant130, kVariant110}) {
    if (auto decoded = decodeReply(bytes, v)) return decoded;
  }
  return std::nullopt;
}

}  // namespace vexa
