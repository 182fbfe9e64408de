#pragma once

#include <cstdint>
#include <string>

namespace vexa {

// Number format "0.0" with a decimal comma: one digit after it, halves away from zero, a
// leading "-" for negative values, no grouping. The locale is never consulted.
std::string formatOneDecimal(double value);

// The battery display: level 0 divided by the divisor of battery item 0, 1 or 2 (10, 4.71,
// 2.53), in format "0.0".
std::string batteryText(int16_t nv00, int item);

}  // namespace vexa
