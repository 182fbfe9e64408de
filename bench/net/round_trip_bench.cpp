// Round trips over real UDP on 127.0.0.1, in one process and one run: a bare echo server built
// on the same socket calls as the endpoint, against the endpoint with the full datagram
// handler, headless and without a log; then with the log on, and with the window open in
// detail mode (offscreen). One load generator drives each at a window of 1 (latency) and of 32
// (throughput). Prints the medians of three runs and the ratios to the baseline.
//
//   round_trip_bench [REQUESTS]      (default 20000 per measurement)
#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "../support/echo_server.h"
#include "../support/round_trips.h"
#include "datagram_handler.h"
#include "display_pump.h"
#include "endpoint_sender.h"
#include "main_window.h"
#include "traffic_log.h"
#include "udp_endpoint.h"

namespace {

using namespace vexa;
using Clock = std::chrono::steady_clock;

using bench::EchoServer;

using bench::Figures;

// One port: the whole load to it.
Figures drive(uint16_t port, int count, int window) {
  return bench::drive(port, 1, count, window);
}

struct Result {
  const char* name;
  Figures latency, throughput;
};

// Our endpoint with the full handler, optionally with the log and a panel sink.
struct Simulator {
  DeviceState state;
  MonotonicTickSource ticks;
  std::unique_ptr<TrafficLog> log;
  std::unique_ptr<DatagramHandler> handler;
  UdpEndpoint endpoint{0, "127.0.0.1"};

  explicit Simulator(const std::string& logDir = "", PanelTextSink* panel = nullptr) {
    state.locked([](DeviceData& d) {
      writeStartupDefaults(d);
      d.MeasureText = "20,50,250,0,1,1,0,0,";
    });
    if (!logDir.empty()) log = std::make_unique<TrafficLog>(logDir);
    handler = std::make_unique<DatagramHandler>(state, ticks, panel, log.get());
    endpoint.setOnUDPRead([this](UdpEndpoint& ep, std::string_view data, const Binding& from) {
      EndpointSender sender(ep, from);
      handler->UDPUDPRead(data, sender);
    });
    endpoint.setActive(true);
  }
};

Result measure(const char* name, uint16_t port, int count) {
  drive(port, count / 10, 1);  // warm up
  return {name, drive(port, count, 1), drive(port, count * 5, 32)};
}

// Medians of three runs, so one unlucky placement of the threads on the cores does not decide.
Result median(std::vector<Result> runs) {
  auto mid = [&](auto field) {
    std::vector<double> v;
    for (const Result& r : runs) v.push_back(field(r));
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  Result m = runs.front();
  m.latency.p50us = mid([](const Result& r) { return r.latency.p50us; });
  m.latency.p99us = mid([](const Result& r) { return r.latency.p99us; });
  m.throughput.perSecond = mid([](const Result& r) { return r.throughput.perSecond; });
  return m;
}

void print(const Result& r, const Result& base) {
  std::printf(
      "%-28s p50 %7.1f us  p99 %7.1f us  %9.0f/s   ratio: p50 %.2f  throughput %.2f  (lost %ld)\n",
      r.name, r.latency.p50us, r.latency.p99us, r.throughput.perSecond,
      r.latency.p50us / base.latency.p50us, r.throughput.perSecond / base.throughput.perSecond,
      r.latency.lost + r.throughput.lost);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  std::vector<Result> results;
  {
    // The baseline and the headless endpoint alternate, three times each.
    EchoServer echo;
    Simulator sim;
    const std::string dir = std::filesystem::temp_directory_path().string() + "/vexa-bench-log/";
    std::filesystem::create_directories(dir);
    Simulator logged(dir);
    std::vector<Result> base, plain, withLog;
    for (int round = 0; round < 3; ++round) {
      base.push_back(measure("bare echo (baseline)", echo.port(), count));
      plain.push_back(measure("endpoint + handler", sim.endpoint.boundPort(), count));
      withLog.push_back(measure("endpoint + handler + /L", logged.endpoint.boundPort(), count));
    }
    results = {median(base), median(plain), median(withLog)};
    std::filesystem::remove_all(dir);
  }
  {
    // The window in detail mode, fed through the display pump, while the GUI thread runs; the
    // load runs on a thread of its own and a 10 ms timer watches the GUI's responsiveness.
    MainWindow window;
    window.setDetailMode(true);
    window.show();
    DisplayPump pump([&window](PanelText id, const std::string& t) { window.setText(id, t); });
    Simulator sim("", &pump.queue());
    Result r;
    std::atomic<bool> done{false};
    std::thread load([&] {
      r = measure("endpoint + handler + window", sim.endpoint.boundPort(), count);
      done = true;
    });
    auto last = Clock::now();
    double worstGapMs = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const auto now = Clock::now();
      worstGapMs =
          std::max(worstGapMs, std::chrono::duration<double, std::milli>(now - last).count());
      last = now;
      if (done) app.quit();
    });
    tick.start();
    app.exec();
    load.join();
    results.push_back(r);
    std::printf("window: worst gap between 10 ms GUI ticks during the load: %.1f ms\n", worstGapMs);
  }
  for (const Result& r : results) print(r, results.front());
  return 0;
}
