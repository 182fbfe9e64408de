#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <thread>

namespace vexa::testing {

inline bool makeFifo(const std::string& path) {
  return ::mkfifo(path.c_str(), 0644) == 0;
}

// Makes a special file of one kind at `path`: "fifo", "directory", "socket" (a bound Unix
// socket's file, its descriptor closed), "dangling" (a link to a missing file) or a device name
// under /dev such as "zero" or "null" (a link to it).
inline void makeSpecial(const std::string& kind, const std::string& path) {
  if (kind == "fifo") {
    ASSERT_TRUE(makeFifo(path));
  } else if (kind == "directory") {
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  } else if (kind == "socket") {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
  } else {
    const std::string target = kind == "dangling" ? path + ".missing" : "/dev/" + kind;
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  }
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
