#include "scenario_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace vexa {
namespace {

using testing::TempDir;
using testing::writeFile;

TEST(ScenarioFile, LoadsAFileAndNamesItInErrors) {
  TempDir dir;
  writeFile(dir.file("ok.json"), R"({"levels": {"temp": {"kind": "constant", "value": 20}}})");
  const ScenarioLoad ok = loadScenarioFile(dir.file("ok.json"));
  ASSERT_TRUE(ok.ok()) << ok.error;
  EXPECT_TRUE(ok.scenario->levels[1]);

  writeFile(dir.file("bad.json"),
            R"({"levels": {"temp": {"kind": "sine", "mean": 20, "amplitude": 5, "period": 0}}})");
  EXPECT_EQ(loadScenarioFile(dir.file("bad.json")).error,
            dir.file("bad.json") + ": levels.temp.period: must be > 0");
}

TEST(ScenarioFile, RefusesWhatIsNotASmallRegularFile) {
  TempDir dir;
  EXPECT_EQ(loadScenarioFile(dir.file("absent.json")).error,
            dir.file("absent.json") + ": No such file or directory");
  EXPECT_EQ(loadScenarioFile(dir.path()).error, dir.path() + ": not a regular file");
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  EXPECT_EQ(loadScenarioFile(dir.file("fifo")).error,
            dir.file("fifo") + ": not a regular file");  // refused at once, not waited on

  // The largest file is read; one byte more is refused.
  std::string body = R"({"name": ")";
  body += std::string(kMaxScenarioFileBytes - body.size() - 2, 'x') + "\"}";
  ASSERT_EQ(body.size(), kMaxScenarioFileBytes);
  writeFile(dir.file("max.json"), body);
  EXPECT_TRUE(loadScenarioFile(dir.file("max.json")).ok());
  writeFile(dir.file("big.json"), body + " ");
  EXPECT_EQ(loadScenarioFile(dir.file("big.json")).error,
            dir.file("big.json") + ": larger than 1048576 bytes");
}

}  // namespace
}  // namespace vexa
