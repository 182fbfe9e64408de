#include "number_format.h"

#include <cmath>

namespace vexa {

std::string formatOneDecimal(double value) {
  const double tenths = std::round(std::fabs(value) * 10.0);  // std::round: halves away from 0
  const auto whole = static_cast<int64_t>(tenths) / 10;
  const auto fraction = static_cast<int64_t>(tenths) % 10;
  std::string s = (value < 0 && tenths != 0) ? "-" : "";
  s += std::to_string(whole);
  s += ',';
  s += static_cast<char>('0' + fraction);
  return s;
}

std::string batteryText(int16_t nv00, int item) {
  static constexpr double kDivisors[3] = {10.0, 4.71, 2.53};
  return formatOneDecimal(nv00 / kDivisors[item]);
}

}  // namespace vexa
