#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace vexa::testing {

// Reads a Server-Sent Events stream on a thread of its own and keeps the text; a test waits for
// what it expects. Ends the stream when destroyed (within the server's idle interval).
class EventReader {
 public:
  EventReader(uint16_t port, std::string path, httplib::Headers headers = {})
      : thread_([this, port, path = std::move(path), headers = std::move(headers)] {
          httplib::Client client("127.0.0.1", port);
          client.set_read_timeout(5, 0);
          auto result = client.Get(path.c_str(), headers, [this](const char* data, size_t n) {
            {
              std::lock_guard<std::mutex> lock(mutex_);
              text_.append(data, n);
            }
            changed_.notify_all();
            return !stop_.load();
          });
          std::lock_guard<std::mutex> lock(mutex_);
          status_ = result ? result->status : -1;
          ended_ = true;
          changed_.notify_all();
        }) {}
  ~EventReader() {
    stopSoon();
    thread_.join();
  }
  // Ends the stream at its next chunk without waiting for it (the destructor waits).
  void stopSoon() { stop_ = true; }

  // True once the stream's text holds `what`.
  bool waitFor(const std::string& what, int timeoutMs = 30000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      return text_.find(what) != std::string::npos || ended_;
    }) && text_.find(what) != std::string::npos;
  }
  std::string text() {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  // The HTTP status once the stream has ended (-1: no response).
  int waitForEnd(int timeoutMs = 30000) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_; });
    return ended_ ? status_ : 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
  bool ended_ = false;
  int status_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vexa::testing
