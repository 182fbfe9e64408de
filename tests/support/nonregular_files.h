#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

namespace vexa::testing {

inline bool makeFifo(const std::string& path) {
  return ::mkfifo(path.c_str(), 0644) == 0;
}

// Runs `work` on a thread of its own and tells whether it returned within `timeoutMs`. When it
// did not (it blocks on the FIFO at `fifo`), the FIFO is opened at both ends and closed again,
// which releases a blocked open or read, so the thread can be joined and the test fail cleanly
// instead of hanging.
inline bool finishesWithin(int timeoutMs, const std::function<void()>& work,
                           const std::string& fifo) {
  std::packaged_task<void()> task(work);
  std::future<void> done = task.get_future();
  std::thread thread(std::move(task));
  const bool finished =
      done.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
  while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (fd >= 0) {
      char sink[4096];
      while (::read(fd, sink, sizeof sink) > 0) {
      }
      ::close(fd);
    }
  }
  thread.join();
  return finished;
}

}  // namespace vexa::testing
