// What a whole fleet process costs: starts vexa-sim-headless with many units in a fresh state
// directory, and measures the time until every unit has answered, the resident memory, the
// processor time while idle, and the time from SIGTERM until every unit's two files are saved
// and the process has ended.
//
//   fleet_cost PROGRAM UNITS IDLE_SECONDS [ports BASE | range FIRST_ADDRESS PORT]
//
// "ports BASE" (default 27000): units on 127.0.0.1:BASE.. ; "range A PORT": one unit per
// address from A on, all on PORT.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

long statusField(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  }
  return -1;
}

// utime + stime of the process, in clock ticks.
long cpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) rest >> skip;
  long utime = 0, stime = 0;
  rest >> utime >> stime;
  return utime + stime;
}

}  // namespace

int main(int argc, char** argv) {
  // Arguments after "--" go to the program as they are (a scenario, say).
  std::vector<std::string> extra;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) != "--") continue;
    extra.assign(argv + i + 1, argv + argc);
    argc = i;
    break;
  }
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: fleet_cost PROGRAM UNITS IDLE_SECONDS [ports BASE | range ADDRESS PORT] "
                 "[-- PROGRAM OPTIONS]\n");
    return 2;
  }
  const std::string program = argv[1];
  const int units = std::atoi(argv[2]);
  const int idle = std::atoi(argv[3]);
  const bool range = argc > 4 && std::string(argv[4]) == "range";
  const int base = argc > 5 && !range ? std::atoi(argv[5]) : 27000;
  const std::string firstAddress = range && argc > 5 ? argv[5] : "127.0.0.1";
  const int rangePort = range && argc > 6 ? std::atoi(argv[6]) : 27000;

  // Every unit's address and port.
  std::vector<sockaddr_in> targets(static_cast<size_t>(units));
  in_addr first{};
  inet_pton(AF_INET, firstAddress.c_str(), &first);
  for (int i = 0; i < units; ++i) {
    sockaddr_in& t = targets[static_cast<size_t>(i)];
    t.sin_family = AF_INET;
    if (range) {
      t.sin_addr.s_addr = htonl(ntohl(first.s_addr) + static_cast<uint32_t>(i));
      t.sin_port = htons(static_cast<uint16_t>(rangePort));
    } else {
      t.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      t.sin_port = htons(static_cast<uint16_t>(base + i));
    }
  }
  char last[INET_ADDRSTRLEN];
  const in_addr lastAddress = targets.back().sin_addr;
  inet_ntop(AF_INET, &lastAddress, last, sizeof last);

  char pattern[] = "/tmp/vexa-fleet-cost-XXXXXX";
  const std::string dir = std::string(::mkdtemp(pattern)) + "/";
  std::vector<std::string> args = {program, "--state-dir", dir};
  if (range) {
    args.insert(args.end(),
                {"--bind-range", firstAddress + "-" + last, "--port", std::to_string(rangePort)});
  } else {
    args.insert(args.end(),
                {"--units", std::to_string(units), "--port-base", std::to_string(base)});
  }
  args.insert(args.end(), extra.begin(), extra.end());

  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int size = 8 << 20;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  char buffer[9000];
  int remaining = units;
  // Starts the program and asks every unit until each has answered once.
  auto startAndAsk = [&] {
    const auto started = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
      std::freopen("/dev/null", "r", stdin);
      std::vector<char*> argv2;
      for (std::string& a : args) argv2.push_back(a.data());
      argv2.push_back(nullptr);
      ::execv(program.c_str(), argv2.data());
      ::_exit(127);
    }
    std::vector<char> answered(static_cast<size_t>(units), 0);
    remaining = units;
    while (remaining > 0 && secondsSince(started) < 30) {
      int sentNow = 0;
      for (int i = 0; i < units && sentNow < 512; ++i) {
        if (answered[static_cast<size_t>(i)]) continue;
        ::sendto(fd, "\n", 1, 0, reinterpret_cast<sockaddr*>(&targets[static_cast<size_t>(i)]),
                 sizeof(sockaddr_in));
        ++sentNow;
      }
      pollfd p{fd, POLLIN, 0};
      while (::poll(&p, 1, 20) > 0) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        if (::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) <
            0) {
          continue;
        }
        const long index = range ? static_cast<long>(ntohl(from.sin_addr.s_addr)) -
                                       static_cast<long>(ntohl(first.s_addr))
                                 : static_cast<long>(ntohs(from.sin_port)) - base;
        if (index >= 0 && index < units && !answered[static_cast<size_t>(index)]) {
          answered[static_cast<size_t>(index)] = 1;
          --remaining;
        }
      }
    }
    return std::make_pair(pid, secondsSince(started));
  };
  auto [pid, answeringAfter] = startAndAsk();
  const long rssStart = statusField(pid, "VmRSS");

  const long ticksBefore = cpuTicks(pid);
  std::this_thread::sleep_for(std::chrono::seconds(idle));
  const long ticksAfter = cpuTicks(pid);
  const double idlePercent = 100.0 * static_cast<double>(ticksAfter - ticksBefore) /
                             static_cast<double>(::sysconf(_SC_CLK_TCK)) / idle;
  const long rssEnd = statusField(pid, "VmRSS");

  const auto term = Clock::now();
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double closeSeconds = secondsSince(term);
  // Once more over the files just saved: a save that replaces existing files.
  auto [again, answeringAgain] = startAndAsk();
  const auto term2 = Clock::now();
  ::kill(again, SIGTERM);
  ::waitpid(again, &status, 0);
  const double closeAgain = secondsSince(term2);
  int whole = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_directory()) continue;
    const auto p = entry.path();
    if (std::filesystem::exists(p / "VXS1.dat") &&
        std::filesystem::file_size(p / "VXS1.dat") == 1024)
      ++whole;
    if (std::filesystem::exists(p / "VXS2.dat") && std::filesystem::file_size(p / "VXS2.dat") == 10)
      ++whole;
  }
  std::printf(
      "units=%d answering_all_after=%.3fs unanswered=%d rss_start=%ldKiB rss_end=%ldKiB "
      "idle_cpu=%.2f%%_over_%ds sigterm_to_exit=%.3fs restart_answering=%.3fs "
      "sigterm_over_saved_files=%.3fs files_whole=%d/%d exit=%d\n",
      units, answeringAfter, remaining, rssStart, rssEnd, idlePercent, idle, closeSeconds,
      answeringAgain, closeAgain, whole, 2 * units, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  std::filesystem::remove_all(dir);
  ::close(fd);
  return remaining == 0 && whole == 2 * units ? 0 : 1;
}
