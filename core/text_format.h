#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa {

// The uppercase hexadecimal digits, by value.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// `value` as an unsigned 32-bit number in uppercase hexadecimal, at least `digits` long.
// Negative values are their two's complement, so always eight digits.
std::string HexText(int64_t value, int digits);

// Writes HexText(value, digits) at `p` (at most eight characters for `digits` up to 8) and
// returns the end, for texts built in a buffer (inline: the reply path calls it per field).
inline char* putHex(char* p, int64_t value, int digits) {
  const auto v = static_cast<uint32_t>(value);
  int length = 1;
  while (length < 8 && (v >> (4 * length)) != 0) ++length;
  for (int i = length; i < digits; ++i) *p++ = '0';
  for (int i = length - 1; i >= 0; --i) *p++ = kHexDigits[(v >> (4 * i)) & 0xF];
  return p;
}

// Appends HexText(value, digits) to `out` without a temporary.
void appendHex(std::string& out, int64_t value, int digits);

// Appends the signed decimal text of `value`.
void appendDecimal(std::string& out, int64_t value);

// For each byte, two uppercase hex digits and one blank.
std::string HexDump(std::string_view bytes);

// A JSON string literal of a byte string: quotes and backslashes escaped, every other byte
// outside 0x20..0x7E as \u00XX.
std::string jsonText(std::string_view s);

// Appends jsonText(s) to `out` without a temporary (the event stream formats many a second).
void appendJsonText(std::string& out, std::string_view s);

// `text` with each carriage return and line feed made a space, for a message that must stay one
// line (a console answer, a log line, a service status).
std::string oneLine(std::string text);

// Removes bytes 0x00 to 0x20 at both ends; nothing inside is touched.
std::string_view trimmed(std::string_view text);

}  // namespace vexa
