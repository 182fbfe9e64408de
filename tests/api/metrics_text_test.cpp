#include "metrics_text.h"

#include <gtest/gtest.h>

namespace vexa::api {
namespace {

UnitSnapshot unitWith(const std::string& id, uint64_t datagrams, bool on) {
  UnitSnapshot u;
  u.id = id;
  u.counters.datagrams = datagrams;
  u.counters.lines[2] = datagrams * 2;
  u.counters.dropped = 1;
  u.endpointOn = on;
  return u;
}

bool has(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(MetricsText, PerUnitAndTotals) {
  const std::string text = metricsText({unitWith("a", 5, true), unitWith("b", 7, false)},
                                       EventStats{10, 2, 1}, ProcessStats{4096, 9});
  EXPECT_TRUE(has(text, "vexa_datagrams_total{unit=\"a\"} 5"));
  EXPECT_TRUE(has(text, "vexa_datagrams_total{unit=\"b\"} 7"));
  EXPECT_TRUE(has(text, "vexa_datagrams_total 12"));
  EXPECT_TRUE(has(text, "vexa_lines_total{unit=\"b\",command=\"rPr\"} 14"));
  EXPECT_TRUE(has(text, "vexa_lines_total{command=\"rPr\"} 24"));
  EXPECT_TRUE(has(text, "vexa_faults_total{kind=\"drop\"} 2"));
  EXPECT_TRUE(has(text, "vexa_endpoint_up{unit=\"b\"} 0"));
  EXPECT_TRUE(has(text, "vexa_endpoint_up 1"));
  EXPECT_TRUE(has(text, "vexa_units 2"));
  EXPECT_TRUE(has(text, "vexa_events_lost_total 2"));
  EXPECT_TRUE(has(text, "process_resident_memory_bytes 4096"));
  EXPECT_TRUE(has(text, "process_open_fds 9"));
  EXPECT_TRUE(has(text, "# TYPE vexa_lines_total counter"));
  EXPECT_EQ(text.back(), '\n');
}

TEST(ProcessStats, ReadsThisProcess) {
  const ProcessStats stats = readProcessStats();
  EXPECT_GT(stats.residentBytes, 0);
  EXPECT_GE(stats.openDescriptors, 3);
}

}  // namespace
}  // namespace vexa::api
