// vexa-scenario-check, run as a user runs it.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "temp_dir.h"

namespace vexa {
namespace {

struct CheckRun {
  int exitCode;
  std::string output;  // stdout and stderr together
};

CheckRun check(const std::string& arguments) {
  const std::string command = std::string(VEXA_SCENARIO_CHECK_PATH) + " " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  CheckRun run{-1, {}};
  if (!pipe) return run;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(ScenarioCheck, AValidFileIsOk) {
  const std::string file = std::string(VEXA_SCENARIO_EXAMPLES) + "/daily-temperature.json";
  const CheckRun run = check(file);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, file + ": ok\n");
}

TEST(ScenarioCheck, AnInvalidFileExits2NamingTheField) {
  testing::TempDir dir;
  const struct {
    const char* json;
    const char* error;
  } table[] = {
      {R"({"levels": {"temp": {"kind": "sine", "mean": 20, "amplitude": 5, "period": 0}}})",
       "levels.temp.period: must be > 0"},
      {R"({"unit": [{"kind": "reset", "at": 0, "seconds": 3, "color": "red"}]})",
       "unit[0].color: unknown field"},
  };
  for (const auto& row : table) {
    testing::writeFile(dir.file("bad.json"), row.json);
    const CheckRun run = check(dir.file("bad.json"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output, dir.file("bad.json") + ": " + row.error + "\n");
  }
}

TEST(ScenarioCheck, UsageErrorsExit2AndHelpExits0) {
  EXPECT_EQ(check("").exitCode, 2);
  EXPECT_EQ(check("a.json b.json").exitCode, 2);
  const CheckRun help = check("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("usage: vexa-scenario-check FILE"), std::string::npos);
}

}  // namespace
}  // namespace vexa
