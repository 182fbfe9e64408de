// Round trips over real UDP on 127.0.0.1 against a fleet, side by side with the bare echo
// server of bench/net in one process and one run: the load spread over 1, 100 and all 1,000
// units of a fleet whose loop runs on a thread of its own. One load generator keeps 1 request
// in flight (latency) or 32 (throughput), each request to the next unit in turn. Prints the
// medians of RUNS alternating runs, the server thread's processor time per request under load
// (what bounds the throughput), and the ratios to the baseline.
//
// For the latency the generator and the server share processor 0, for the throughput the
// server has processor 1 to itself: the same placement for the baseline and the fleet, so a
// wake-up across processors (slow and erratic on a virtual machine) does not decide. After each
// move, one unmeasured round over the units warms the new processor's caches.
//
//   fleet_round_trip_bench [REQUESTS [RUNS]]      (defaults 20000 per measurement, 5 runs)
#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "../support/echo_server.h"
#include "../support/round_trips.h"
#include "fleet.h"

namespace {

using namespace vexa;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kBase = 26000;
constexpr int kUnits = 1000;

using bench::EchoServer;

using bench::cpuMicroseconds;
using bench::drive;
using bench::Figures;
using bench::median;
using bench::pinTo;

}  // namespace

int main(int argc, char** argv) {
  const int requests = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string dir = std::filesystem::temp_directory_path().string() + "/vexa-fleet-bench/";
  std::filesystem::create_directories(dir);

  EchoServer echo;
  EventLoop loop;
  SteadyUnitClock clock;
  FleetPlan plan;
  planPortRange(plan, kUnits, kBase, "127.0.0.1");
  placeUnits(plan, dir);
  Fleet fleet(plan, loop, clock);
  if (!fleet.load().ok() || !fleet.open().ok()) {
    std::fprintf(stderr, "cannot open ports %u..%u\n", kBase, kBase + kUnits - 1);
    return 1;
  }
  std::thread loopThread([&] { loop.run(); });

  struct Row {
    const char* name;
    uint16_t first;
    int spread;
    pthread_t server;
    std::vector<double> p50 = {}, p99 = {}, rate = {}, cpu = {};
  };
  std::vector<Row> rows = {
      {"bare echo (baseline)", echo.port(), 1, echo.thread().native_handle()},
      {"fleet, 1 unit", kBase, 1, loopThread.native_handle()},
      {"fleet, spread over 100 units", kBase, 100, loopThread.native_handle()},
      {"fleet, spread over 1,000 units", kBase, 1000, loopThread.native_handle()}};
  pinTo(pthread_self(), 0);
  for (int run = 0; run < runs; ++run) {
    for (Row& r : rows) {
      // Each measurement first takes one unmeasured round over its units on the server's new
      // processor: a server that stayed on its processor would have its data in that
      // processor's caches, and the round gives it back what the move took.
      pinTo(r.server, 0);
      drive(r.first, r.spread, r.spread, 1);
      const Figures latency = drive(r.first, r.spread, requests / 4, 1);
      pinTo(r.server, 1);
      drive(r.first, r.spread, r.spread, 1);
      const double cpuBefore = cpuMicroseconds(r.server);
      const Figures throughput = drive(r.first, r.spread, requests, 32);
      r.cpu.push_back((cpuMicroseconds(r.server) - cpuBefore) / requests);
      r.p50.push_back(latency.p50us);
      r.p99.push_back(latency.p99us);
      r.rate.push_back(throughput.perSecond);
    }
  }
  loop.stop();
  loopThread.join();

  const double baseP50 = median(rows[0].p50), baseRate = median(rows[0].rate);
  std::printf(
      "| configuration | p50 | p99 | throughput | server CPU per request | p50 ratio | "
      "throughput ratio |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const Row& r : rows) {
    std::printf("| %s | %.1f us | %.1f us | %.0f/s | %.2f us | %.2f | %.2f |\n", r.name,
                median(r.p50), median(r.p99), median(r.rate), median(r.cpu),
                median(r.p50) / baseP50, median(r.rate) / baseRate);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
