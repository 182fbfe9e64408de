#include <gtest/gtest.h>

#include "ini_settings.h"
#include "nonregular_files.h"
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

// Only the first kMaxIniBytes count: a key beyond them is not seen, and a line cut by the limit
// is dropped rather than read as a shorter value.
TEST(Ciclo, OnlyABoundedPrefixOfTheFileIsRead) {
  testing::TempDir dir;
  const std::string head = "[Geral]\n";
  for (size_t fill : {kMaxIniBytes - head.size() - 9, kMaxIniBytes - head.size() - 8,
                      kMaxIniBytes - head.size() - 4, kMaxIniBytes, 4 * kMaxIniBytes}) {
    // "Ciclo=12\n" is 9 bytes: it ends at the limit for the first fill, is cut after that.
    const std::string text = head + std::string(fill - 1, ';') + "\n" + "Ciclo=12\n";
    testing::writeFile(dir.file("VX.ini"), text);
    const int expected = head.size() + fill + 9 <= kMaxIniBytes ? 12 : 2;
    EXPECT_EQ(readCiclo(dir.file("VX.ini")), expected) << fill;
  }
  testing::writeFile(dir.file("VX.ini"), "[Geral]\nCiclo=7\n" + std::string(8 * kMaxIniBytes, ' '));
  EXPECT_EQ(readCiclo(dir.file("VX.ini")), 7);
}

TEST(Ciclo, SpecialFilesGiveTheDefaultWithoutBlocking) {
  testing::TempDir dir;
  const std::string ini = dir.file("VX.ini");
  ASSERT_TRUE(testing::makeFifo(ini));
  int ciclo = -1;
  EXPECT_TRUE(testing::finishesWithin(
      2000, [&] { ciclo = readCiclo(ini); }, ini));
  EXPECT_EQ(ciclo, 2);
  ::unlink(ini.c_str());
  ASSERT_EQ(::symlink("/dev/zero", ini.c_str()), 0);
  EXPECT_EQ(readCiclo(ini), 2);
  ::unlink(ini.c_str());
  ::mkdir(ini.c_str(), 0755);
  EXPECT_EQ(readCiclo(ini), 2);
}

}  // namespace
}  // namespace vexa
