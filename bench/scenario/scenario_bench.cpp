// The cost of scenarios in a fleet: 1,000 runners, each with a sine on every level, advanced as an
// event loop advances them (every runner every 100 ms). One benchmark iteration is 100 ms of
// simulated time for all 1,000 units, so time per iteration / 100 ms is the share of one core.
#include <benchmark/benchmark.h>

#include <queue>
#include <vector>

#include "scenario_loader.h"
#include "scenario_runner.h"

namespace vexa {
namespace {

using Clock = ScenarioRunner::Clock;

// A unit that takes each value and does nothing with it.
struct NullTarget final : ScenarioTarget {
  void claimLevel(int, const std::string&) override {}
  void releaseLevel(int) override {}
  void setLevel(int, int value) override { sum += value; }
  void setInput(int, bool) override { ++events; }
  void setEndpoint(bool) override { ++events; }
  void setFaults(double, int, int, double) override { ++events; }
  void clearFaults() override { ++events; }
  void holdReset(int) override { ++events; }
  int64_t sum = 0;
  int64_t events = 0;
};

constexpr int kUnits = 1000;

const char* kSines = R"({"levels": {
  "bat": {"kind": "sine", "mean": 300, "amplitude": 250, "period": 600},
  "temp": {"kind": "sine", "mean": 33, "amplitude": 30, "period": 86400},
  "umid": {"kind": "sine", "mean": 50, "amplitude": 40, "period": 3600, "phase": 90}}})";

const char* kBusy = R"({"levels": {
  "bat": {"kind": "walk", "start": 250, "step": 5, "interval": 1, "min": 0, "max": 600},
  "temp": {"kind": "sine", "mean": 33, "amplitude": 30, "period": 600},
  "umid": {"kind": "ramp", "from": 0, "to": 100, "over": 60, "then": "reverse"}},
  "inputs": [{"kind": "toggle", "input": 0, "every": 5, "jitter": 4}],
  "unit": [{"kind": "endpoint_off", "at": 600, "every": 600, "for": 30},
           {"kind": "faults", "at": 100, "every": 300, "for": 60, "drop": 0.1}]})";

struct Fleet {
  Fleet(const char* json, double factor) {
    scenario = parseScenario(json).scenario;
    targets.resize(kUnits);
    for (int i = 0; i < kUnits; ++i) {
      runners.push_back(std::make_unique<ScenarioRunner>(
          scenario, targets[i], RunOptions{.timeFactor = factor, .offset = 3.7 * i}));
      runners.back()->start(now);
    }
  }
  std::shared_ptr<const Scenario> scenario;
  std::vector<NullTarget> targets;
  std::vector<std::unique_ptr<ScenarioRunner>> runners;
  Clock::time_point now = Clock::time_point{} + std::chrono::hours(1);
};

// Every runner advanced once per 100 ms of simulated time.
void advanceAll(benchmark::State& run, const char* json, double factor) {
  Fleet fleet(json, factor);
  for (auto _ : run) {
    fleet.now += std::chrono::milliseconds(100);
    for (auto& runner : fleet.runners) runner->advanceTo(fleet.now);
  }
  run.counters["advances/s"] = benchmark::Counter(static_cast<double>(run.iterations()) * kUnits,
                                                  benchmark::Counter::kIsRate);
}

// As a fleet loop does it: runners kept in a heap by nextDeadline(), the due ones advanced and
// put back, over 100 ms of simulated time per iteration in 1 ms loop turns.
void deadlineLoop(benchmark::State& run, const char* json, double factor) {
  Fleet fleet(json, factor);
  using Entry = std::pair<Clock::time_point, int>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<>> due;
  for (int i = 0; i < kUnits; ++i) due.emplace(fleet.runners[i]->nextDeadline(), i);
  int64_t advances = 0;
  for (auto _ : run) {
    for (int turn = 0; turn < 100; ++turn) {
      fleet.now += std::chrono::milliseconds(1);
      while (due.top().first <= fleet.now) {
        const int i = due.top().second;
        due.pop();
        fleet.runners[i]->advanceTo(fleet.now);
        due.emplace(fleet.runners[i]->nextDeadline(), i);
        ++advances;
      }
    }
  }
  run.counters["advances/s"] =
      benchmark::Counter(static_cast<double>(advances), benchmark::Counter::kIsRate);
}

void BM_SinesAdvanceAll(benchmark::State& run) {
  advanceAll(run, kSines, 1);
}
void BM_SinesDeadlineLoop(benchmark::State& run) {
  deadlineLoop(run, kSines, 1);
}
void BM_SinesDeadlineLoopFactor60(benchmark::State& run) {
  deadlineLoop(run, kSines, 60);
}
void BM_BusyDeadlineLoopFactor60(benchmark::State& run) {
  deadlineLoop(run, kBusy, 60);
}

BENCHMARK(BM_SinesAdvanceAll)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SinesDeadlineLoop)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SinesDeadlineLoopFactor60)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BusyDeadlineLoopFactor60)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vexa
