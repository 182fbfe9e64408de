#include <gtest/gtest.h>

#include "nonregular_files.h"
#include "temp_dir.h"
#include "traffic_log.h"

namespace vexa {
namespace {

std::tm at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(LogFileName, CalendarYearAndIsoWeek) {
  struct Case {
    std::tm date;
    const char* name;
  };
  const Case cases[] = {{at(2026, 12, 7), "VXS_202650.log"},
                        {at(2026, 1, 1), "VXS_202601.log"},
                        {at(2027, 1, 1), "VXS_202753.log"},
                        {at(2025, 12, 29), "VXS_202501.log"},
                        {at(2026, 1, 5), "VXS_202602.log"}};
  for (const Case& c : cases) EXPECT_EQ(TrafficLog::LogFileName(c.date), c.name);
}

TEST(TrafficLog, AppendsTimestampedEntries) {
  testing::TempDir dir;
  std::tm now = at(2026, 12, 7, 21, 30, 5);
  TrafficLog log(dir.path(), [&] { return now; });
  log.WriteLog("snd000");
  log.WriteLog("snd000\r\nrPr000");
  log.WriteLog("");
  now = at(2026, 12, 14, 8, 1, 2);
  log.WriteLog("next week");
  EXPECT_EQ(testing::readFile(dir.file("VXS_202650.log")),
            "07/12/2026 21:30:05 - snd000\r\n"
            "07/12/2026 21:30:05 - snd000\r\nrPr000\r\n"
            "07/12/2026 21:30:05 - \r\n");
  EXPECT_EQ(testing::readFile(dir.file("VXS_202651.log")), "14/12/2026 08:01:02 - next week\r\n");
  // A second writer appends to the same file rather than replacing it.
  TrafficLog(dir.path(), [&] { return now; }).WriteLog("again");
  EXPECT_EQ(testing::readFile(dir.file("VXS_202651.log")),
            "14/12/2026 08:01:02 - next week\r\n14/12/2026 08:01:02 - again\r\n");
}

// A FIFO (with or without a reader) or a device under the log's name loses the entry at once:
// the writer never blocks and never writes into it.
TEST(TrafficLog, ASpecialFileInTheLogsPlaceLosesTheEntryWithoutBlocking) {
  testing::TempDir dir;
  const std::tm date = at(2026, 12, 7, 21, 30, 5);
  const std::string path = dir.file(TrafficLog::LogFileName(date));
  TrafficLog log(dir.path(), [&] { return date; });
  ASSERT_TRUE(testing::makeFifo(path));
  EXPECT_TRUE(testing::finishesWithin(
      2000, [&] { log.WriteLog("into a fifo"); }, path));
  // With a reader waiting on the FIFO, the entry still does not go into it.
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_TRUE(testing::finishesWithin(
      2000, [&] { log.WriteLog("read me"); }, path));
  char buffer[64];
  EXPECT_LE(::read(reader, buffer, sizeof buffer), 0);
  ::close(reader);
  ::unlink(path.c_str());
  ASSERT_EQ(::symlink("/dev/null", path.c_str()), 0);
  log.WriteLog("into a device");
  ::unlink(path.c_str());
  // The next entry, once a regular file can be made, is written as usual.
  log.WriteLog("after");
  EXPECT_EQ(testing::readFile(path), "07/12/2026 21:30:05 - after\r\n");
}

TEST(TrafficLog, AMissingDirectoryLosesEntriesSilently) {
  testing::TempDir dir;
  TrafficLog log(dir.path() + "gone/", [] { return at(2026, 12, 7); });
  log.WriteLog("lost");
  EXPECT_FALSE(testing::fileExists(dir.path() + "gone"));
}

}  // namespace
}  // namespace vexa
