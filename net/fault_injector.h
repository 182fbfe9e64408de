#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "udp_endpoint.h"

namespace vexa {

// Fault injection for testing a peer's error handling; everything off by default.
struct FaultSettings {
  double dropProbability = 0;     // drop each request datagram
  int delayMs = 0;                // delay each reply by this much
  int delayJitterMs = 0;          // plus a uniform 0..jitter
  double corruptProbability = 0;  // flip one byte of a reply
  bool any() const {
    return dropProbability > 0 || delayMs > 0 || delayJitterMs > 0 || corruptProbability > 0;
  }
};

// A probability from 0 to 1 written as a plain decimal number ("0", "1", "0.25", ".5", "1.0"):
// digits and at most one point, nothing else; false otherwise.
bool parseProbability(const std::string& text, double& p);
// "MS" or "MS:JITTER", each 0..600000 milliseconds; false otherwise.
bool parseDelay(const std::string& text, int& ms, int& jitter);

// Decides, from one seeded random source, which requests to drop, which replies to corrupt and
// how long to delay each; counts what it did. Safe from any thread.
class FaultInjector {
 public:
  explicit FaultInjector(uint32_t seed = 1) : random_(seed) {}

  void configure(const FaultSettings& settings);
  FaultSettings settings() const;

  bool dropRequest();
  // Flips one byte of `bytes` (all its bits) when chosen; returns whether it did.
  bool corruptReply(std::string& bytes);
  int replyDelayMs();

  uint64_t dropped() const { return dropped_.load(); }
  uint64_t corrupted() const { return corrupted_.load(); }
  uint64_t delayed() const { return delayed_.load(); }

 private:
  mutable std::mutex mutex_;
  FaultSettings settings_;
  std::mt19937 random_;
  std::atomic<uint64_t> dropped_{0}, corrupted_{0}, delayed_{0};
};

// Sends replies after their delay, in the order they were scheduled, from the endpoint's socket
// on a thread of its own, so a delayed reply never holds up the handling of the next datagram.
// At most kMaxPending replies wait at once; a reply beyond that is dropped and counted, so a
// flood under a long delay costs bounded memory. Replies still pending when it is destroyed are
// dropped. `schedule` and `dropped` may be called from any thread.
class DelayedSender {
 public:
  // 10,000 replies of at most a few hundred bytes each: a few MiB at most.
  static constexpr size_t kMaxPending = 10000;

  explicit DelayedSender(UdpEndpoint& endpoint, size_t maxPending = kMaxPending);
  ~DelayedSender();
  DelayedSender(const DelayedSender&) = delete;
  DelayedSender& operator=(const DelayedSender&) = delete;

  // False when the queue is full and the reply was dropped.
  bool schedule(int delayMs, const Binding& to, std::string bytes);
  // Replies dropped because the queue was full.
  uint64_t dropped() const { return dropped_.load(); }

 private:
  struct Pending {
    std::chrono::steady_clock::time_point due;
    Binding to;
    std::string bytes;
  };
  void run();

  UdpEndpoint& endpoint_;
  const size_t maxPending_;
  std::atomic<uint64_t> dropped_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Pending> queue_;
  std::chrono::steady_clock::time_point lastDue_{};
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace vexa
