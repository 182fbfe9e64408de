#include "fault_injector.h"

#include <charconv>
#include <cstdlib>

namespace vexa {

namespace {
bool parseMilliseconds(const std::string& text, int& out) {
  long v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || v < 0 ||
      v > 600000) {
    return false;
  }
  out = static_cast<int>(v);
  return true;
}
}  // namespace

bool parseProbability(const std::string& text, double& p) {
  // Digits with at most one point: no blanks, sign, exponent, hexadecimal or "inf"/"nan".
  if (text.empty() || text == ".") return false;
  size_t points = 0;
  for (char c : text) {
    if (c == '.') {
      ++points;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  if (points > 1) return false;
  double v = 0;
  const auto r =
      std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !(v >= 0 && v <= 1)) {
    return false;
  }
  p = v;
  return true;
}

bool parseDelay(const std::string& text, int& ms, int& jitter) {
  const size_t colon = text.find(':');
  int a = 0, b = 0;
  if (!parseMilliseconds(text.substr(0, colon), a)) return false;
  if (colon != std::string::npos && !parseMilliseconds(text.substr(colon + 1), b)) return false;
  ms = a;
  jitter = b;
  return true;
}

void FaultInjector::configure(const FaultSettings& settings) {
  std::lock_guard<std::mutex> guard(mutex_);
  settings_ = settings;
}

FaultSettings FaultInjector::settings() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return settings_;
}

bool FaultInjector::dropRequest() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (settings_.dropProbability <= 0) return false;
  const bool drop =
      std::uniform_real_distribution<double>(0, 1)(random_) < settings_.dropProbability;
  if (drop) ++dropped_;
  return drop;
}

bool FaultInjector::corruptReply(std::string& bytes) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (settings_.corruptProbability <= 0 || bytes.empty()) return false;
  if (std::uniform_real_distribution<double>(0, 1)(random_) >= settings_.corruptProbability)
    return false;
  const size_t at = std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(random_);
  bytes[at] = static_cast<char>(~static_cast<unsigned char>(bytes[at]));
  ++corrupted_;
  return true;
}

int FaultInjector::replyDelayMs() {
  std::lock_guard<std::mutex> guard(mutex_);
  int delay = settings_.delayMs;
  if (settings_.delayJitterMs > 0)
    delay += std::uniform_int_distribution<int>(0, settings_.delayJitterMs)(random_);
  if (delay > 0) ++delayed_;
  return delay;
}

DelayedSender::DelayedSender(UdpEndpoint& endpoint, size_t maxPending)
    : endpoint_(endpoint), maxPending_(maxPending), thread_(&DelayedSender::run, this) {}

DelayedSender::~DelayedSender() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool DelayedSender::schedule(int delayMs, const Binding& to, std::string bytes) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (queue_.size() >= maxPending_) {
      ++dropped_;
      return false;
    }
    // Jitter may not reorder replies: each is due no earlier than the one before it.
    auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs);
    if (due < lastDue_) due = lastDue_;
    lastDue_ = due;
    queue_.push_back({due, to, std::move(bytes)});
  }
  wake_.notify_all();
  return true;
}

void DelayedSender::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    if (queue_.empty()) {
      wake_.wait(lock);
      continue;
    }
    const auto due = queue_.front().due;
    if (wake_.wait_until(lock, due, [&] { return stop_; })) break;
    if (std::chrono::steady_clock::now() < queue_.front().due) continue;
    Pending next = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    endpoint_.Send(next.to.senderAddress, next.to.senderPort, next.bytes);  // lost when off
    lock.lock();
  }
}

}  // namespace vexa
