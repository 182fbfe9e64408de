#pragma once

#include <cstdint>
#include <string>

namespace vexa {

// Decimal text of `value` widened to `width` with zeros. For zero and negative values the zeros
// go after the first character ("-5", 4 -> "-005"); the sign counts toward the width.
std::string PadZeros(int32_t value, int width);

}  // namespace vexa
