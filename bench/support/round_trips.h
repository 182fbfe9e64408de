#pragma once

#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace vexa::bench {

using Clock = std::chrono::steady_clock;

struct Figures {
  double p50us = 0, p99us = 0, perSecond = 0;
  long lost = 0;
};

// Binds a thread to one processor, so that the scheduler's placement does not decide a
// measurement: on a virtual machine, waking a thread on a sleeping processor can cost some
// 50 us, where a switch on the same processor costs a few. No effect with fewer processors.
inline void pinTo(pthread_t thread, int cpu) {
  if (cpu >= static_cast<int>(std::thread::hardware_concurrency())) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  pthread_setaffinity_np(thread, sizeof set, &set);
}

// Processor time used so far by `thread`, in microseconds.
inline double cpuMicroseconds(pthread_t thread) {
  clockid_t id;
  if (pthread_getcpuclockid(thread, &id) != 0) return 0;
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

// The middle value of `v` (the upper one of an even count).
inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Keeps `window` requests in flight until `count` replies came back, request i to port
// first + i % spread; a request whose reply is lost is replaced after 200 ms.
inline Figures drive(uint16_t first, int spread, int count, int window) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int size = 4 << 20;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string request = "rPr000\n";
  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(count));
  std::vector<Clock::time_point> sent;
  char buffer[9000];
  long next = 0;
  auto send = [&] {
    to.sin_port = htons(static_cast<uint16_t>(first + next++ % spread));
    ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    sent.push_back(Clock::now());
  };
  Figures f;
  const auto start = Clock::now();
  for (int i = 0; i < window; ++i) send();
  int received = 0;
  while (received < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) {
      ++f.lost;
      sent.erase(sent.begin());
      send();
      continue;
    }
    if (::recv(fd, buffer, sizeof buffer, 0) < 0) continue;
    const auto now = Clock::now();
    latencies.push_back(std::chrono::duration<double, std::micro>(now - sent.front()).count());
    sent.erase(sent.begin());
    ++received;
    if (received + static_cast<int>(sent.size()) < count) send();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(fd);
  std::sort(latencies.begin(), latencies.end());
  f.p50us = latencies[latencies.size() / 2];
  f.p99us = latencies[latencies.size() * 99 / 100];
  f.perSecond = count / seconds;
  return f;
}

}  // namespace vexa::bench
