#include "metrics_text.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "sample_fleet.h"

namespace vexa::api {
namespace {

using testing::sampleFleet;
using testing::sampleMetricsText;

bool has(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

// One sample line: its family, its labels without the unit, its unit and its value.
struct Sample {
  std::string family, otherLabels, unit;
  uint64_t value = 0;
};

// The samples of a text, checking on the way that each follows its family's HELP and TYPE.
std::vector<Sample> samplesOf(const std::string& text) {
  std::vector<Sample> samples;
  std::string typed;
  const std::regex type(R"(# TYPE ([a-z_]+) (counter|gauge))");
  const std::regex sample(R"(([a-z_]+)(\{(.*)\})? ([0-9]+))");
  const std::regex unitLabel(R"re((^|,)unit="([^"]*)")re");
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (line.rfind("# HELP ", 0) == 0) continue;
    if (std::regex_match(line, m, type)) {
      typed = m[1];
      continue;
    }
    EXPECT_TRUE(std::regex_match(line, m, sample)) << line;
    EXPECT_EQ(m[1], typed) << line;
    Sample s{m[1], m[3], "", std::stoull(m[4])};
    std::smatch u;
    if (std::regex_search(s.otherLabels, u, unitLabel)) {
      s.unit = u[2];
      s.otherLabels = std::regex_replace(s.otherLabels, unitLabel, "");
      if (!s.otherLabels.empty() && s.otherLabels[0] == ',') s.otherLabels.erase(0, 1);
    }
    samples.push_back(s);
  }
  return samples;
}

TEST(MetricsText, PerUnitAndTotalsInFamiliesOfTheirOwn) {
  const std::string text = sampleMetricsText();
  for (const char* line : {
           "vexa_datagrams_total{unit=\"1\"} 100",
           "vexa_datagrams_total{unit=\"edge-3.b_x\"} 300",
           "vexa_fleet_datagrams_total 600",
           "vexa_sent_bytes_total{unit=\"2\"} 10000",
           "vexa_fleet_received_bytes_total 4200",
           "vexa_lines_total{unit=\"2\",command=\"rPr\"} 22",
           "vexa_fleet_lines_total{command=\"rPr\"} 66",
           "vexa_fleet_lines_total{command=\"other\"} 78",
           "vexa_faults_total{unit=\"1\",kind=\"corrupt\"} 3",
           "vexa_fleet_faults_total{kind=\"delay\"} 12",
           "vexa_fleet_delay_overflow_total 24",
           "vexa_fleet_lines_unanswered_total 30",
           "vexa_endpoint_up{unit=\"2\"} 0",
           "vexa_fleet_endpoints_up 2",
           "vexa_units 3",
           "vexa_events_published_total 1234",
           "vexa_events_lost_total 56",
           "vexa_event_readers 2",
           "process_resident_memory_bytes 9437184",
           "process_open_fds 14",
           "# TYPE vexa_lines_total counter",
           "# TYPE vexa_fleet_endpoints_up gauge",
       }) {
    EXPECT_TRUE(has(text, line)) << line;
  }
  EXPECT_EQ(text.back(), '\n');
}

// In every family either all samples have a unit or none has, and the sum of a per-unit family
// over its units is its fleet family, label for label.
TEST(MetricsText, SumOfEveryPerUnitFamilyIsItsFleetTotal) {
  std::map<std::string, std::set<bool>> labelled;  // family: whether samples have a unit
  std::map<std::string, uint64_t> sums, fleet;     // "family{other labels}"
  for (const Sample& s : samplesOf(sampleMetricsText())) {
    labelled[s.family].insert(!s.unit.empty());
    const std::string key = s.family + "{" + s.otherLabels + "}";
    if (!s.unit.empty()) sums[key] += s.value;
    if (s.family.rfind("vexa_fleet_", 0) == 0) fleet[key] = s.value;
  }
  for (const auto& [family, kinds] : labelled) EXPECT_EQ(kinds.size(), 1u) << family;
  std::map<std::string, uint64_t> expected;
  for (const auto& [key, sum] : sums) {
    std::string name = "vexa_fleet_" + key.substr(5);
    if (name.rfind("vexa_fleet_endpoint_up", 0) == 0) name = "vexa_fleet_endpoints_up{}";
    expected[name] = sum;
  }
  EXPECT_EQ(fleet, expected);
  EXPECT_EQ(sums.size(), 6u + 7u + 3u + 1u);  // six counters, seven commands, three faults, up
}

TEST(MetricsText, NoUnitsAndNoProcessFigures) {
  const std::string text = metricsText({}, EventStats{}, ProcessStats{});
  EXPECT_TRUE(has(text, "vexa_fleet_datagrams_total 0"));
  EXPECT_TRUE(has(text, "vexa_units 0"));
  EXPECT_EQ(text.find("unit=\""), std::string::npos);
  EXPECT_EQ(text.find("process_"), std::string::npos);  // unreadable, so left out
  EXPECT_EQ(samplesOf(text).size(), 6u + 7u + 3u + 1u + 1u + 3u);
}

TEST(ProcessStats, ReadsThisProcess) {
  const ProcessStats stats = readProcessStats();
  EXPECT_GT(stats.residentBytes, 0);
  EXPECT_GE(stats.openDescriptors, 3);
}

}  // namespace
}  // namespace vexa::api
