#include <gtest/gtest.h>

#include <ctime>

#include "bits.h"
#include "has_switch.h"
#include "pad_zeros.h"
#include "week_number.h"

namespace vexa {
namespace {

using namespace std::chrono;

TEST(PadZeros, WidensPositiveAndNegativeValues) {
  struct Case {
    int32_t value;
    int width;
    const char* expected;
  };
  const Case cases[] = {{7, 2, "07"},    {123, 2, "123"},  {0, 3, "000"},
                        {-5, 4, "-005"}, {-5, 2, "-5"},    {0, 1, "0"},
                        {9, 2, "09"},    {-12, 4, "-012"}, {5, 0, "5"},
                        {5, -3, "5"},    {0, 0, "0"},      {INT32_MIN, 2, "-2147483648"}};
  for (const Case& c : cases) EXPECT_EQ(PadZeros(c.value, c.width), c.expected) << c.value;
}

TEST(HasSwitch, MatchesAnywhereInTheArgumentsInAnyCase) {
  EXPECT_TRUE(HasSwitch('D', {"/d"}));
  EXPECT_TRUE(HasSwitch('d', {"/D"}));
  EXPECT_TRUE(HasSwitch('D', {"/DEBUG"}));
  EXPECT_TRUE(HasSwitch('D', {"C:/Data/sim.exe"}));  // a slash path among the arguments counts
  EXPECT_TRUE(HasSwitch('L', {"x", "/l"}));
  EXPECT_FALSE(HasSwitch('D', {"-D"}));
  EXPECT_FALSE(HasSwitch('D', {}));
  EXPECT_FALSE(HasSwitch('L', {"/D"}));
  // Arguments are joined by blanks, so a switch cannot be formed across two of them.
  EXPECT_FALSE(HasSwitch('D', {"/", "D"}));
}

TEST(Bits, SetAndTestSingleBits) {
  uint16_t w = 0x00FF;
  EXPECT_EQ(SetBit(w, 1, false), 0x00FD);
  EXPECT_EQ(w, 0x00FD);
  w = 0x00FF;
  EXPECT_EQ(SetBit(w, 8, true), 0x01FF);
  for (int bit = 0; bit < 16; ++bit) {
    uint16_t v = 0;
    SetBit(v, bit, true);
    EXPECT_EQ(v, 1u << bit);
    for (int other = 0; other < 16; ++other) EXPECT_EQ(BitIsSet(v, other), other == bit);
    SetBit(v, bit, false);
    EXPECT_EQ(v, 0);
  }
}

TEST(WeekOfYear, WorkedExamples) {
  struct Case {
    year_month_day date;
    uint16_t week, year;
  };
  const Case cases[] = {
      {2027y / January / 1, 53, 2026},   {2025y / December / 29, 1, 2026},
      {2026y / January / 4, 1, 2026},    {2026y / January / 5, 2, 2026},
      {2026y / December / 31, 53, 2026}, {2026y / January / 1, 1, 2026},
      {2026y / December / 7, 50, 2026},
  };
  for (const Case& c : cases) {
    const WeekAndYear w = WeekOfYear(c.date);
    EXPECT_EQ(w.week, c.week) << static_cast<int>(c.date.year());
    EXPECT_EQ(w.year, c.year);
  }
}

// strftime's ISO week fields are an independent oracle for every day of 1990..2100.
TEST(WeekOfYear, AgreesWithStrftimeFrom1990Through2100) {
  const sys_days first{1990y / January / 1};
  const sys_days last{2100y / December / 31};
  for (sys_days d = first; d <= last; d += days{1}) {
    const year_month_day ymd{d};
    std::tm tm{};
    tm.tm_year = static_cast<int>(ymd.year()) - 1900;
    tm.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    tm.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    tm.tm_wday = static_cast<int>(weekday{d}.c_encoding());
    tm.tm_yday = static_cast<int>((d - sys_days{ymd.year() / January / 1}).count());
    char week[8], year[8];
    std::strftime(week, sizeof week, "%V", &tm);
    std::strftime(year, sizeof year, "%G", &tm);
    const WeekAndYear w = WeekOfYear(ymd);
    ASSERT_EQ(w.week, std::atoi(week)) << d.time_since_epoch().count();
    ASSERT_EQ(w.year, std::atoi(year)) << d.time_since_epoch().count();
  }
}

TEST(FirstWeekStart, IsAlwaysTheMondayOfTheWeekHoldingJanuary4) {
  for (int y = 1990; y <= 2100; ++y) {
    const sys_days start = FirstWeekStart(y);
    EXPECT_EQ(weekday{start}, Monday) << y;
    const auto toJan4 = (sys_days{year{y} / January / 4} - start).count();
    EXPECT_GE(toJan4, 0) << y;
    EXPECT_LE(toJan4, 6) << y;
  }
}

}  // namespace
}  // namespace vexa
