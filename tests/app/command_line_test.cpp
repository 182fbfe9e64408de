#include <gtest/gtest.h>

#include "command_line.h"
#include "log_replay.h"
#include "reply_fields.h"

namespace vexa {
namespace {

TEST(CommandLine, ReadsEveryOption) {
  const auto p = parseCommandLine({"/D", "--port", "5011", "--bind=127.0.0.1", "--state-dir",
                                   "/tmp/u1", "--variant", "130", "--drop", "0.25", "--delay",
                                   "40:10", "--corrupt=1", "--seed", "7", "--headless", "/l"});
  ASSERT_TRUE(p.options) << p.error;
  const CommandLine& c = *p.options;
  EXPECT_EQ(c.port, 5011);
  EXPECT_EQ(c.bindAddress, "127.0.0.1");
  EXPECT_EQ(c.stateDir, "/tmp/u1/");
  EXPECT_EQ(c.variant, 3);
  EXPECT_DOUBLE_EQ(c.faults.dropProbability, 0.25);
  EXPECT_EQ(c.faults.delayMs, 40);
  EXPECT_EQ(c.faults.delayJitterMs, 10);
  EXPECT_DOUBLE_EQ(c.faults.corruptProbability, 1);
  EXPECT_EQ(c.seed, 7u);
  EXPECT_TRUE(c.headless);
  const auto defaults = parseCommandLine({});
  EXPECT_EQ(defaults.options->variant, 4);
  EXPECT_FALSE(defaults.options->port);
  EXPECT_FALSE(defaults.options->faults.any());
}

TEST(CommandLine, RefusesBadOptions) {
  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"},        {"--port"},           {"--port", "0"},   {"--port", "70000"},
      {"--port", "50x"},  {"--variant", "120"}, {"--drop", "1.5"}, {"--drop", "-0.1"},
      {"--corrupt", "x"}, {"--delay", "5:"},    {"--delay", "-3"}, {"--seed", "-1"},
      {"--state-dir"},    {"--bind", ""}};
  for (const auto& args : bad) {
    const auto p = parseCommandLine(args);
    EXPECT_FALSE(p.options) << args[0];
    EXPECT_FALSE(p.error.empty());
    EXPECT_EQ(p.error.find('\n'), std::string::npos);  // one line
  }
}

TEST(LogReplay, PairsRequestsWithTheirBodies) {
  const std::string log =
      "07/12/2026 21:30:05 - snd000\r\n"
      "07/12/2026 21:30:05 - snd,000,20,50,250,0012345,\r\n"
      "07/12/2026 21:30:06 - wMc000,001\r\nrPr000\r\n"
      "07/12/2026 21:30:06 - wMc,000,\r\n"
      "07/12/2026 21:30:06 - rPr,000,C0,\r\n"
      "07/12/2026 21:30:07 - rPr000\r\n"  // no line feed: no reply
      "07/12/2026 21:30:08 - \r\n"        // the empty line
      "07/12/2026 21:30:08 - ,,\r\n";
  const auto e = parseTrafficLog(log);
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0].lines, (std::vector<std::string>{"snd000"}));
  EXPECT_EQ(e[0].bodies, (std::vector<std::string>{"snd,000,20,50,250,0012345,"}));
  EXPECT_EQ(e[1].lines, (std::vector<std::string>{"wMc000,001", "rPr000"}));
  EXPECT_EQ(e[1].bodies[1], "rPr,000,C0,");
  EXPECT_TRUE(e[2].lines.empty());
  EXPECT_EQ(e[3].lines, (std::vector<std::string>{""}));
}

TEST(LogReplay, BodiesMatchByCaseAndShape) {
  EXPECT_TRUE(bodiesMatch("rPr,000,C0,", "RPR,000,C0,", true));
  EXPECT_FALSE(bodiesMatch("rPr,000,C0,", "RPR,000,C0,", false));
  EXPECT_FALSE(bodiesMatch("rPr,000,C0,", "RPR,000,C1,", true));
  EXPECT_TRUE(bodiesMatch("snd,000,20,50,250,0012345,", "SND,000,31,77,244,0000001,", true));
  EXPECT_FALSE(
      bodiesMatch("snd,000,20,50,250,0012345,", "SND,000,20,50,250,0,1,1,0,0,0000001,", true));
  EXPECT_FALSE(bodiesMatch("snd,000,20,50,250,0012345,", "SND,001,20,50,250,0012345,", true));
}

TEST(ReplyFields, NamesTheStatusAndParameters) {
  auto f = replyFields("SND,000,25,60,250,1,0,0,0,0,0012345,");
  ASSERT_EQ(f.size(), 9u);
  EXPECT_EQ(f[0], (std::pair<std::string, std::string>{"temp", "25"}));
  EXPECT_EQ(f[3], (std::pair<std::string, std::string>{"presenca", "1"}));
  EXPECT_EQ(f.back(), (std::pair<std::string, std::string>{"token", "0012345"}));
  f = replyFields(
      "rPr,000,C0.A8.00.FA,FF.FF.FF.00,C0.A8.00.01,00:01:02:00:00:00,1EE,0B,15,0C,16,0D,17,1.30,00,"
      "00,"
      "00,08,15,03,20,17,");
  ASSERT_FALSE(f.empty());
  EXPECT_EQ(f[0].second, "C0.A8.00.FA");
  EXPECT_EQ(f.back(), (std::pair<std::string, std::string>{"version_date", "15/03/2017 00:08"}));
  EXPECT_TRUE(replyFields("wMc,000,").empty());
  EXPECT_TRUE(replyFields("SND,000,1,2,").empty());
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

TEST(CommandLine, FleetOptionsImplyHeadlessAndExcludeOneAnother) {
  auto c = parseCommandLine({"--units", "1000", "--port-base=6000"});
  ASSERT_TRUE(c.options) << c.error;
  EXPECT_EQ(*c.options->units, 1000);
  EXPECT_EQ(*c.options->portBase, 6000);
  EXPECT_TRUE(c.options->headless);
  c = parseCommandLine({"--bind-range", "127.0.1.1-127.0.4.232", "--port", "5010"});
  ASSERT_TRUE(c.options) << c.error;
  EXPECT_EQ(*c.options->bindRange, "127.0.1.1-127.0.4.232");
  EXPECT_TRUE(c.options->fleet());
  c = parseCommandLine({"--fleet", "units.json"});
  ASSERT_TRUE(c.options) << c.error;
  EXPECT_EQ(*c.options->fleetFile, "units.json");
  c = parseCommandLine({"--headless"});
  ASSERT_TRUE(c.options);
  EXPECT_FALSE(c.options->fleet());
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--units", "0"},
        {"--units", "65536"},
        {"--units"},
        {"--port-base", "0", "--units", "2"},
        {"--port-base", "5000"},
        {"--units", "3", "--port", "6000"},
        {"--bind-range"},
        {"--fleet", ""},
        {"--units", "2", "--fleet", "f.json"},
        {"--bind-range", "127.0.0.1-127.0.0.2", "--units", "2"}}) {
    const auto r = parseCommandLine(bad);
    EXPECT_FALSE(r.options) << bad[0];
    EXPECT_FALSE(r.error.empty()) << bad[0];
  }
}

}  // namespace
}  // namespace vexa
