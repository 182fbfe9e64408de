#pragma once

#include <cstdint>
#include <string_view>

namespace vexa {

// The field of `n` characters at 1-based position `p` of a request line; shorter (possibly
// empty) where the line ends first.
std::string_view fieldAt(std::string_view line, size_t p, size_t n);

// Reads a numeric field: leading blanks, then a decimal number with an optional sign or a
// hexadecimal one after "$", "x", "X", "0x" or "0X", running to the end of the text. Anything
// else reads 0. Safe for any text: a decimal number outside the signed 32-bit range and a
// hexadecimal one of more than 32 bits are malformed too and read 0.
int32_t ParseField(std::string_view text);

}  // namespace vexa
