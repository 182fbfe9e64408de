#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa {

// `value` as an unsigned 32-bit number in uppercase hexadecimal, at least `digits` long.
// Negative values are their two's complement, so always eight digits.
std::string HexText(int64_t value, int digits);

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
