#pragma once

#include <chrono>
#include <cstdint>

namespace vexa {

struct WeekAndYear {
  uint16_t week;  // 1 to 53
  uint16_t year;  // the week-numbering year, which differs from the calendar year near New Year
};

// The Monday that starts week 1 of `year` (the week holding the year's first Thursday).
std::chrono::sys_days FirstWeekStart(int year);

// ISO 8601 week of a calendar date.
WeekAndYear WeekOfYear(std::chrono::year_month_day date);

// Today's local calendar date.
std::chrono::year_month_day LocalToday();

// ISO week number of today's local date.
uint16_t CurrentWeekNumber();

}  // namespace vexa
