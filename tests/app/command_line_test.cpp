#include <gtest/gtest.h>

#include "command_line.h"
#include "log_replay.h"
#include "reply_fields.h"
#include "startup_settings.h"

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

// Every edge of the per-datagram reply limit, in both spellings.
TEST(CommandLine, ReadsTheReplyLimit) {
  EXPECT_EQ(parseCommandLine({}).options->maxRepliesPerDatagram, 0u);
  struct Case {
    std::string value;
    size_t expected;  // 0: refused
  };
  const Case cases[] = {{"1", 1},
                        {"2", 2},
                        {"8191", 8191},
                        {"8192", 8192},
                        {"8193", 0},
                        {"0", 0},
                        {"-1", 0},
                        {"", 0},
                        {"1x", 0},
                        {" 1", 0},
                        {"99999999999999999999", 0}};
  for (const Case& c : cases) {
    for (const auto& args : {std::vector<std::string>{"--max-replies-per-datagram", c.value},
                             std::vector<std::string>{"--max-replies-per-datagram=" + c.value}}) {
      const auto p = parseCommandLine(args);
      if (c.expected == 0) {
        EXPECT_FALSE(p.options) << args.back();
        EXPECT_NE(p.error.find("--max-replies-per-datagram"), std::string::npos) << p.error;
      } else {
        ASSERT_TRUE(p.options) << args.back() << ": " << p.error;
        EXPECT_EQ(p.options->maxRepliesPerDatagram, c.expected);
      }
    }
  }
  EXPECT_FALSE(parseCommandLine({"--max-replies-per-datagram"}).options);
}

// Found by fuzzing: an unknown option holding a line feed made the error two lines.
TEST(CommandLine, AnErrorIsOneLineWhateverTheArgumentHolds) {
  for (const std::string& name : std::vector<std::string>{
           "--a\nb", "--\r", std::string("--x\0y", 5), "--\x1b[2J", "--\x7f"}) {
    const auto p = parseCommandLine({name});
    ASSERT_FALSE(p.options);
    for (char ch : p.error)
      EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) << p.error;
  }
}

TEST(CommandLine, RefusesBadOptions) {
  const std::vector<std::vector<std::string>> bad = {{"--bogus"},
                                                     {"--port"},
                                                     {"--port", "0"},
                                                     {"--port", "70000"},
                                                     {"--port", "50x"},
                                                     {"--variant", "120"},
                                                     {"--drop", "1.5"},
                                                     {"--drop", "-0.1"},
                                                     {"--corrupt", "x"},
                                                     {"--delay", "5:"},
                                                     {"--delay", "-3"},
                                                     {"--seed", "-1"},
                                                     {"--state-dir"},
                                                     {"--bind", ""},
                                                     {"-h"},
                                                     {"extra"},
                                                     {"/X"},
                                                     {"-"},
                                                     {"--headless", "--gui"},
                                                     {"--bind", "999.1.1.1"},
                                                     {"--bind", "nothost"},
                                                     {"--bind=1.2.3"},
                                                     {"--headless=yes"},
                                                     {"--version=2"},
                                                     {"--port", "5011", "x"}};
  for (const auto& args : bad) {
    const auto p = parseCommandLine(args);
    EXPECT_FALSE(p.options) << args[0];
    EXPECT_FALSE(p.error.empty());
    EXPECT_EQ(p.error.find('\n'), std::string::npos);  // one line
  }
}

TEST(CommandLine, ScenarioOptions) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
  };
  const Case cases[] = {
      {{"--scenario", "a.json"}, true},
      {{"--scenario="}, false},
      {{"--scenario"}, false},
      {{"--time-factor", "0.01"}, true},
      {{"--time-factor", "1000"}, true},
      {{"--time-factor", "0.009"}, false},
      {{"--time-factor", "1000.5"}, false},
      {{"--time-factor", "-1"}, false},
      {{"--time-factor", "1e2"}, false},
      {{"--scenario-seed", "18446744073709551615"}, true},
      {{"--scenario-seed", "18446744073709551616"}, false},
      {{"--scenario-seed", "-1"}, false},
      {{"--scenario-stagger", "0"}, true},
      {{"--scenario-stagger", "1000000"}, true},
      {{"--scenario-stagger", "1000001"}, false},
      {{"--scenario-stagger", "x"}, false},
  };
  for (const Case& c : cases) {
    const auto p = parseCommandLine(c.args);
    EXPECT_EQ(p.options.has_value(), c.ok)
        << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
    if (!c.ok) {
      EXPECT_NE(p.error.find(c.args[0].substr(0, c.args[0].find('='))), std::string::npos)
          << p.error;
    }
  }
  const auto p = parseCommandLine({"--units", "3", "--scenario=s.json", "--time-factor", "60",
                                   "--scenario-seed", "9", "--scenario-stagger", "2.5"});
  ASSERT_TRUE(p.options);
  EXPECT_EQ(*p.options->scenarioFile, "s.json");
  EXPECT_EQ(*p.options->timeFactor, 60);
  EXPECT_EQ(*p.options->scenarioSeed, 9u);
  EXPECT_EQ(p.options->scenarioStagger, 2.5);
}

TEST(CommandLine, OptionValuesCarryNoSwitches) {
  // Values of our own options are not part of the command line the switches are read from.
  const std::vector<std::vector<std::string>> cases = {
      {"--headless", "--port", "15401", "--state-dir", "/tmp/lab"},
      {"--state-dir=/tmp/data", "--bind", "127.0.0.1"},
      {"--state-dir", "/tmp/Dl/LD", "--variant=110"}};
  for (const auto& args : cases) {
    const auto p = parseCommandLine(args);
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_TRUE(p.options->switchArguments.empty()) << args.back();
    const StartupSettings s = startupSettings(p.options->switchArguments, "/tmp/");
    EXPECT_FALSE(s.DetailMode) << args.back();
    EXPECT_FALSE(s.LogEnabled) << args.back();
  }
}

TEST(CommandLine, PlainArgumentsCountWhenTheyHoldASwitch) {
  struct Case {
    std::vector<std::string> args;
    bool detail, log;
  };
  const std::vector<Case> cases = {{{"/d"}, true, false},
                                   {{"x/dy"}, true, false},
                                   {{"/DEBUG", "--headless"}, true, false},
                                   {{"--port", "5011", "/l"}, false, true},
                                   {{"C:/Data/sim.exe"}, true, false},
                                   {{"/L/d"}, true, true}};
  for (const Case& c : cases) {
    const auto p = parseCommandLine(c.args);
    ASSERT_TRUE(p.options) << p.error;
    const StartupSettings s = startupSettings(p.options->switchArguments, "/tmp/");
    EXPECT_EQ(s.DetailMode, c.detail) << c.args[0];
    EXPECT_EQ(s.LogEnabled, c.log) << c.args[0];
  }
}

TEST(CommandLine, ProbabilitiesArePlainDecimalsFromZeroToOne) {
  for (const std::string good : {"0", "1", "0.5", ".5", "1.0", "0.000", "00.25"}) {
    EXPECT_TRUE(parseCommandLine({"--drop", good}).options) << good;
    EXPECT_TRUE(parseCommandLine({"--corrupt=" + good}).options) << good;
  }
  for (const std::string bad : {" 0.5", "0.5 ", "0x1p-2", "1e-400", "1e0", "+0.5", "-0", "inf",
                                "nan", ".", "", "0..5", "1.01", "2", "0,5"}) {
    EXPECT_FALSE(parseCommandLine({"--drop", bad}).options) << "[" << bad << "]";
    EXPECT_FALSE(parseCommandLine({"--corrupt=" + bad}).options) << "[" << bad << "]";
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
