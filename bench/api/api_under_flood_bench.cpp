// A flooded fleet keeps serving its HTTP interface, its console and its signals:
//
//   api_under_flood_bench [SECONDS=5] [UNITS=200] [LINES=50] [STOP_UNITS=1000]
//
// Part 1 runs the real program headless with UNITS units on 127.0.0.1 and the API on a free
// port, its console on a pipe, and for SECONDS without and then SECONDS with a UDP flood (one
// thread sending datagrams of LINES "rPr000" lines round the units as fast as it can) measures
// the latency of GET /api/v1/health, GET /metrics, PATCH /api/v1/units/{id} and of a console
// command, and counts the answers that were not 200.
// Part 2 runs STOP_UNITS units flooded with 8 KB datagrams (1,170 lines each), sends SIGTERM
// after SECONDS of flood and measures the time until the process has ended, then checks every
// unit's two files.
//
// The program is the build's vexa-sim-headless, or the one the environment's VEXA_SIM names
// (another build's, to compare).
#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// The program, headless, with `units` units from `portBase`, the API on a free port, its
// standard input and output on pipes.
struct Simulator {
  pid_t pid = -1;
  int input = -1;   // the console's commands
  int output = -1;  // its answers
  uint16_t apiPort = 0;
  std::string dir;

  Simulator(int units, int portBase) {
    char pattern[] = "/tmp/vexa-flood-bench-XXXXXX";
    dir = std::string(::mkdtemp(pattern)) + "/";
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      const int err = ::open((dir + "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(err, 2);
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::close(in[1]);
      ::close(out[0]);
      ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
      const char* program = std::getenv("VEXA_SIM") ? std::getenv("VEXA_SIM") : VEXA_SIM_PATH;
      ::execl(program, program, "--units", std::to_string(units).c_str(), "--port-base",
              std::to_string(portBase).c_str(), "--state-dir", dir.c_str(), "--api", "0",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    input = in[1];
    output = out[0];
    const std::regex announced("API on http://127\\.0\\.0\\.1:([0-9]+)/");
    for (int i = 0; i < 400 && apiPort == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::ifstream err(dir + "stderr.txt");
      std::stringstream text;
      text << err.rdbuf();
      std::smatch m;
      const std::string s = text.str();
      if (std::regex_search(s, m, announced)) apiPort = static_cast<uint16_t>(std::stoi(m[1]));
    }
  }
  // SIGTERM; the seconds until the process ended (-1: not within 120 s, then killed) and its
  // exit code.
  std::pair<double, int> stop() {
    const auto start = Clock::now();
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (msSince(start) > 120000) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return {-1, -1};
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return {msSince(start) / 1000, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }
  ~Simulator() {
    if (input >= 0) ::close(input);
    if (output >= 0) ::close(output);
    std::filesystem::remove_all(dir);
  }
};

// One thread sending `datagram` round the units' ports as fast as it can, until stopped or for
// at most `limitS` seconds; the replies are left to the kernel to drop.
class Flood {
 public:
  Flood(int portBase, int units, std::string datagram, double limitS)
      : thread_([=, this, datagram = std::move(datagram)] {
          const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
          const int small = 4096;
          ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
          sockaddr_in to{};
          to.sin_family = AF_INET;
          to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
          const auto end = Clock::now() + std::chrono::duration<double>(limitS);
          for (int i = 0; !stop_.load(std::memory_order_relaxed); i = (i + 1) % units) {
            if (i == 0 && Clock::now() > end) break;
            to.sin_port = htons(static_cast<uint16_t>(portBase + i));
            if (::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to) > 0) {
              sent_.fetch_add(1, std::memory_order_relaxed);
            }
          }
          ::close(fd);
        }) {}
  ~Flood() {
    stop_ = true;
    thread_.join();
  }
  long sent() const { return sent_.load(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> sent_{0};
  std::thread thread_;
};

std::string lines(int count) {
  std::string d;
  for (int i = 0; i < count; ++i) d += "rPr000\n";
  return d;
}

struct Latencies {
  std::map<std::string, std::vector<double>> ms;  // by request
  std::map<std::string, std::map<int, int>> statuses;
};

// For `seconds`, one request after another round the kinds (health, metrics, a PATCH, a
// console command), each one's latency; a request waits at most 30 s.
Latencies measure(Simulator& sim, int units, double seconds) {
  Latencies out;
  httplib::Client client("127.0.0.1", sim.apiPort);
  client.set_read_timeout(30, 0);
  client.set_connection_timeout(5, 0);
  // A connection per request, without Nagle's delay: a kept-alive connection answers its
  // second request 40 ms late (the server writes a response in two parts and the client's
  // kernel delays its acknowledgement), which would hide what the loop adds.
  client.set_keep_alive(false);
  client.set_tcp_nodelay(true);
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  std::string pending;
  for (int i = 0; Clock::now() < end; ++i) {
    const int unit = 1 + i % units;
    const auto start = Clock::now();
    int status = -1;
    std::string kind;
    switch (i % 4) {
      case 0: {
        kind = "GET /api/v1/health";
        if (auto r = client.Get("/api/v1/health")) status = r->status;
        break;
      }
      case 1: {
        kind = "GET /metrics";
        if (auto r = client.Get("/metrics")) status = r->status;
        break;
      }
      case 2: {
        kind = "PATCH /api/v1/units/{id}";
        const std::string body =
            std::string(R"({"inputs":{"0":)") + (i % 8 < 4 ? "true" : "false") + "}}";
        if (auto r =
                client.Patch("/api/v1/units/" + std::to_string(unit), body, "application/json")) {
          status = r->status;
        }
        break;
      }
      case 3: {
        // The console's fleet totals, one line on the program's standard output.
        kind = "console: status";
        const std::string command = "status\n";
        if (::write(sim.input, command.data(), command.size()) < 0) break;
        char buffer[4096];
        while (pending.find('\n') == std::string::npos) {
          pollfd p{sim.output, POLLIN, 0};
          if (::poll(&p, 1, 30000) <= 0) break;
          const ssize_t n = ::read(sim.output, buffer, sizeof buffer);
          if (n <= 0) break;
          pending.append(buffer, static_cast<size_t>(n));
        }
        const size_t feed = pending.find('\n');
        if (feed != std::string::npos) {
          status = pending.rfind("units=", 0) == 0 ? 200 : 500;
          pending.erase(0, feed + 1);
        }
        break;
      }
    }
    out.ms[kind].push_back(msSince(start));
    ++out.statuses[kind][status];
  }
  return out;
}

void print(const char* phase, const Latencies& l) {
  for (const auto& [kind, ms] : l.ms) {
    std::string statuses;
    for (const auto& [status, count] : l.statuses.at(kind)) {
      char one[32];
      std::snprintf(one, sizeof one, " %d x%d", status, count);
      statuses += one;
    }
    std::printf("%-8s %-26s n=%5zu p50=%8.2f ms p99=%8.2f ms max=%8.2f ms  status:%s\n", phase,
                kind.c_str(), ms.size(), percentile(ms, 0.5), percentile(ms, 0.99),
                percentile(ms, 1.0), statuses.c_str());
  }
}

int wholeFiles(const std::string& dir) {
  int whole = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_directory()) continue;
    const auto p = entry.path();
    if (std::filesystem::exists(p / "VXS1.dat") &&
        std::filesystem::file_size(p / "VXS1.dat") == 1024) {
      ++whole;
    }
    if (std::filesystem::exists(p / "VXS2.dat") &&
        std::filesystem::file_size(p / "VXS2.dat") == 10) {
      ++whole;
    }
  }
  return whole;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  const int units = argc > 2 ? std::atoi(argv[2]) : 200;
  const int lineCount = argc > 3 ? std::atoi(argv[3]) : 50;
  const int stopUnits = argc > 4 ? std::atoi(argv[4]) : 1000;
  const int portBase = 27000;
  ::signal(SIGPIPE, SIG_IGN);

  {
    Simulator sim(units, portBase);
    if (sim.apiPort == 0) {
      std::fprintf(stderr, "the simulator did not start its API\n");
      return 1;
    }
    print("quiet", measure(sim, units, seconds));
    long sent = 0;
    {
      Flood flood(portBase, units, lines(lineCount), seconds + 5);
      print("flooded", measure(sim, units, seconds));
      sent = flood.sent();
    }
    std::printf("flood: %ld datagrams of %d lines in %.1f s over %d units\n", sent, lineCount,
                seconds, units);
    const auto [exitS, code] = sim.stop();
    std::printf("stop after the flood: %.3f s, exit %d\n", exitS, code);
  }

  Simulator sim(stopUnits, portBase);
  if (sim.apiPort == 0) {
    std::fprintf(stderr, "the simulator did not start its API\n");
    return 1;
  }
  std::string big;
  while (big.size() + 7 <= 8192) big += "rPr000\n";
  double exitS = 0;
  int code = 0;
  long sent = 0;
  {
    Flood flood(portBase, stopUnits, big, seconds + 130);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    std::tie(exitS, code) = sim.stop();
    sent = flood.sent();
  }
  const int whole = wholeFiles(sim.dir);
  std::printf(
      "SIGTERM under a flood of %zu-byte datagrams (%ld sent) over %d units: exit after %.3f s "
      "(code %d), %d of %d files whole\n",
      big.size(), sent, stopUnits, exitS, code, whole, 2 * stopUnits);
  return 0;
}
