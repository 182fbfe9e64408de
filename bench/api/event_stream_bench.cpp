// Events delivered to a stream reader while a unit is flooded, and the flood's throughput with
// and without that reader: event_stream_bench [SECONDS_PER_RUN=3] [ROUNDS=3]
// Runs the real program headless on 127.0.0.1 (a free UDP port, the API on any free port),
// alternates runs without and with one reader of /api/v1/events, and prints the medians.
#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../support/round_trips.h"
#include "udp_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using vexa::bench::median;

struct Simulator {
  pid_t pid = -1;
  uint16_t udpPort = 5560;
  uint16_t apiPort = 0;
  std::string dir;
};

Simulator startSimulator() {
  Simulator sim;
  char pattern[] = "/tmp/vexa-bench-XXXXXX";
  sim.dir = ::mkdtemp(pattern);
  const std::string program = sim.dir + "/vexa-sim";
  std::filesystem::copy_file(VEXA_SIM_PATH, program);
  const std::string port = std::to_string(sim.udpPort);
  sim.pid = ::fork();
  if (sim.pid == 0) {
    const int err = ::open((sim.dir + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, 2);
    ::dup2(::open("/dev/null", O_RDWR), 0);
    ::dup2(::open("/dev/null", O_RDWR), 1);
    ::setenv("XDG_RUNTIME_DIR", sim.dir.c_str(), 1);
    ::execl(program.c_str(), program.c_str(), "--headless", "--port", port.c_str(), "--api", "0",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const std::regex announced("API on http://127\\.0\\.0\\.1:([0-9]+)/");
  for (int i = 0; i < 100 && sim.apiPort == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(sim.dir + "/stderr.txt");
    std::stringstream text;
    text << in.rdbuf();
    std::smatch m;
    const std::string s = text.str();
    if (std::regex_search(s, m, announced)) sim.apiPort = static_cast<uint16_t>(std::stoi(m[1]));
  }
  return sim;
}

void stopSimulator(const Simulator& sim) {
  ::kill(sim.pid, SIGTERM);
  ::waitpid(sim.pid, nullptr, 0);
  std::filesystem::remove_all(sim.dir);
}

// Keeps 32 requests in flight for `seconds`; returns replies per second.
double flood(uint16_t port, double seconds) {
  vexa::UdpClient client;
  client.setTarget("127.0.0.1", port);
  long replies = 0, inFlight = 0;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  const auto start = Clock::now();
  while (Clock::now() < end) {
    while (inFlight < 32) {
      client.send("snd000\n");
      ++inFlight;
    }
    if (client.receive(200)) {
      ++replies;
      --inFlight;
    } else {
      inFlight = 0;  // lost under load: go on
    }
  }
  return static_cast<double>(replies) / std::chrono::duration<double>(Clock::now() - start).count();
}

// One reader of the fleet's event stream, counting events and reported losses.
class Reader {
 public:
  explicit Reader(uint16_t apiPort)
      : thread_([this, apiPort] {
          httplib::Client client("127.0.0.1", apiPort);
          client.Get("/api/v1/events", [this](const char* data, size_t n) {
            const std::string_view chunk(data, n);
            for (size_t at = chunk.find("\ndata: "); at != std::string_view::npos;
                 at = chunk.find("\ndata: ", at + 1)) {
              events_.fetch_add(1, std::memory_order_relaxed);
            }
            for (size_t at = chunk.find("{\"lost\":"); at != std::string_view::npos;
                 at = chunk.find("{\"lost\":", at + 1)) {
              lost_.fetch_add(std::strtoull(chunk.data() + at + 8, nullptr, 10));
            }
            return !stop_.load();
          });
        }) {}
  ~Reader() {
    stop_ = true;
    thread_.join();
  }
  uint64_t events() const { return events_.load(); }
  uint64_t lost() const { return lost_.load(); }

 private:
  std::atomic<uint64_t> events_{0}, lost_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const Simulator sim = startSimulator();
  if (sim.apiPort == 0) {
    std::fprintf(stderr, "the simulator did not start its API\n");
    stopSimulator(sim);
    return 1;
  }
  std::vector<double> without, with, delivered, lostRate;
  for (int round = 0; round < rounds; ++round) {
    without.push_back(flood(sim.udpPort, seconds));
    Reader reader(sim.apiPort);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // connected
    const uint64_t eventsBefore = reader.events(), lostBefore = reader.lost();
    const auto start = Clock::now();
    with.push_back(flood(sim.udpPort, seconds));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last batch arrives
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    delivered.push_back(static_cast<double>(reader.events() - eventsBefore) / elapsed);
    lostRate.push_back(static_cast<double>(reader.lost() - lostBefore) / elapsed);
    std::printf(
        "round %d: %.0f replies/s without a reader, %.0f with one; %.0f events/s "
        "delivered, %.0f/s lost\n",
        round + 1, without.back(), with.back(), delivered.back(), lostRate.back());
  }
  stopSimulator(sim);
  const double ratio = median(with) / median(without);
  std::printf(
      "median: %.0f replies/s without a reader, %.0f with one (ratio %.2f, target >= "
      "0.80); %.0f events/s delivered to the reader, %.0f/s lost\n",
      median(without), median(with), ratio, median(delivered), median(lostRate));
  return ratio >= 0.8 ? 0 : 1;
}
