#include <gtest/gtest.h>

#include "ini_settings.h"
#include "temp_dir.h"

namespace vexa {
namespace {

TEST(Ciclo, ReadsTheKeyOfSectionGeral) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"", 2},
      {"[Geral]\nCiclo=5\n", 5},
      {"[Geral]\r\nCiclo=5\r\n", 5},
      {"[geral]\nciclo = 0x0A\n", 10},
      {"[GERAL]\nCICLO=$0A\n", 10},
      {"[Geral]\nCiclo=0X1f\n", 31},
      {"[Geral]\nCiclo=abc\n", 2},
      {"[Geral]\nCiclo=\n", 2},
      {"[Geral]\nCiclo=0\n", 0},
      {"[Geral]\nCiclo=-3\n", -3},
      {"[Geral]\nCiclo=+4\n", 4},
      {"[Geral]\nCiclo=5 s\n", 2},
      {"[Geral]\nCiclo=99999999999\n", 2},
      {"[Geral]\nOutro=1\n", 2},
      {"[Outra]\nCiclo=7\n", 2},
      {"[Outra]\nCiclo=7\n[Geral]\nCiclo=8\n", 8},
      {"[Geral]\nCiclo=3\n[Outra]\nCiclo=7\n", 3},
      {"Ciclo=9\n[Geral]\n", 2},
      {"[Geral]\n; Ciclo=9\nCiclo=4", 4},
      {"[Geral]\nCiclo=4\nCiclo=6\n", 4},
      {"  [ Geral ]  \n\tCiclo\t=\t12\t\n", 12},
      {"[Geral\nCiclo=4\n", 2},
  };
  for (const Case& c : cases) EXPECT_EQ(cicloFromIniText(c.text), c.expected) << c.text;
}

TEST(Ciclo, TheIntervalIsWorkedOutWithoutOverflow) {
  struct Case {
    int ciclo;
    int expectedMs;
  };
  const Case cases[] = {{2, 2000},
                        {0, 0},
                        {-1, -1000},
                        {2147483, 2147483000},
                        {2147484, INT32_MAX},  // 2147484000 ms does not fit a timer
                        {4294968, INT32_MAX},  // wrapped to 704 ms before
                        {INT32_MAX, INT32_MAX},
                        {-2147483, -2147483000},
                        {-2147484, INT32_MIN},
                        {INT32_MIN, INT32_MIN}};
  for (const Case& c : cases) EXPECT_EQ(cycleIntervalMs(c.ciclo), c.expectedMs) << c.ciclo;
  for (int ciclo = -3000000; ciclo <= 3000000; ciclo += 997) {
    const int ms = cycleIntervalMs(ciclo);
    EXPECT_EQ(ms > 0, ciclo > 0) << ciclo;
    if (ciclo > 0 && ciclo <= 2147483) {
      EXPECT_EQ(ms, ciclo * 1000) << ciclo;
    }
  }
}

TEST(Ciclo, AMissingFileGivesTheDefault) {
  testing::TempDir dir;
  EXPECT_EQ(readCiclo(dir.file("VX.ini")), 2);
  testing::writeFile(dir.file("VX.ini"), "[Geral]\nCiclo=5\n");
  EXPECT_EQ(readCiclo(dir.file("VX.ini")), 5);
}

}  // namespace
}  // namespace vexa
