#include "week_number.h"

#include <array>
#include <ctime>

namespace vexa {

using namespace std::chrono;

namespace {
// Days from 1 January to the Monday of week 1, by the weekday of 1 January (1 = Sunday).
constexpr std::array<int, 8> kFirstWeekOffset = {0, +1, 0, -1, -2, -3, +3, +2};
}  // namespace

sys_days FirstWeekStart(int year) {
  const sys_days january1{std::chrono::year{year} / January / 1};
  const unsigned weekdayNumber = weekday{january1}.c_encoding() + 1;  // 1 = Sunday .. 7 = Saturday
  return january1 + days{kFirstWeekOffset[weekdayNumber]};
}

WeekAndYear WeekOfYear(year_month_day date) {
  const sys_days d{date};
  const int y = static_cast<int>(date.year());
  sys_days start = FirstWeekStart(y);
  int weekYear = y;
  if (d >= start) {
    if (d >= FirstWeekStart(y + 1)) return {1, static_cast<uint16_t>(y + 1)};
  } else {
    start = FirstWeekStart(y - 1);
    weekYear = y - 1;
  }
  const auto week = (d - start).count() / 7 + 1;
  return {static_cast<uint16_t>(week), static_cast<uint16_t>(weekYear)};
}

year_month_day LocalToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return std::chrono::year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday;
}

uint16_t CurrentWeekNumber() {
  return WeekOfYear(LocalToday()).week;
}

}  // namespace vexa
