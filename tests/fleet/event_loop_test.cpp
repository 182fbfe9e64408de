#include "event_loop.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <string>
#include <thread>
#include <vector>

namespace vexa {
namespace {

TEST(EventLoop, TimersRunInDeadlineOrderThenTiesInTheOrderSet) {
  EventLoop loop;
  std::string order;
  const int64_t now = EventLoop::nowMs();
  loop.at(now + 30, [&] { order += 'c'; });
  loop.at(now + 10, [&] { order += 'a'; });
  loop.at(now + 10, [&] { order += 'b'; });
  loop.at(now + 40, [&] {
    order += 'd';
    loop.stop();
  });
  loop.run();
  EXPECT_EQ(order, "abcd");
  EXPECT_GE(EventLoop::nowMs() - now, 40);
  EXPECT_EQ(loop.pendingTimers(), 0u);
}

TEST(EventLoop, DescriptorsAndTasksPostedFromAnotherThread) {
  EventLoop loop;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string seen;
  ASSERT_TRUE(loop.add(fds[0],
                       [&] {
                         char c = 0;
                         if (::read(fds[0], &c, 1) == 1) seen += c;
                         if (c == 'z') {
                           loop.remove(fds[0]);
                           loop.post([&] { loop.stop(); });
                         }
                       })
                  .ok());
  std::thread other([&] {
    loop.post([&] { seen += '+'; });  // queued before the stop that 'z' posts
    [[maybe_unused]] ssize_t n = ::write(fds[1], "xyz", 3);
  });
  loop.run();
  other.join();
  EXPECT_EQ(seen.size(), 4u);  // the three bytes and the posted task
  ASSERT_NE(seen.find('+'), std::string::npos);
  seen.erase(seen.find('+'), 1);
  EXPECT_EQ(seen, "xyz");
  ::close(fds[0]);
  ::close(fds[1]);
  EXPECT_FALSE(loop.add(-1, [] {}).ok());
}

// A running handler may remove its own descriptor and add others (growing the loop's table):
// it stays whole until it returns, and the descriptors added are served.
TEST(EventLoop, AHandlerRemovingItselfAndAddingOthersRunsToItsEnd) {
  EventLoop loop;
  int first[2];
  ASSERT_EQ(::pipe(first), 0);
  std::vector<std::array<int, 2>> added(64);
  int served = 0;
  const std::string captured(100, 'c');  // copied into the handler: freed early, ASan says so
  ASSERT_TRUE(loop.add(first[0],
                       [&, captured] {
                         loop.remove(first[0]);
                         for (auto& p : added) {
                           ASSERT_EQ(::pipe(p.data()), 0);
                           loop.add(p[0], [&, fd = p[0]] {
                             char c;
                             if (::read(fd, &c, 1) == 1 &&
                                 ++served == static_cast<int>(added.size())) {
                               loop.stop();
                             }
                           });
                           [[maybe_unused]] ssize_t n = ::write(p[1], "x", 1);
                         }
                         EXPECT_EQ(captured, std::string(100, 'c'));
                       })
                  .ok());
  [[maybe_unused]] ssize_t n = ::write(first[1], "x", 1);
  loop.run();
  EXPECT_EQ(served, static_cast<int>(added.size()));
  for (int fd : {first[0], first[1]}) ::close(fd);
  for (auto& p : added) {
    loop.remove(p[0]);
    ::close(p[0]);
    ::close(p[1]);
  }
}

// An idle loop sleeps: half a second of waiting costs next to no processor time.
TEST(EventLoop, AnIdleLoopSleeps) {
  EventLoop loop;
  loop.at(EventLoop::nowMs() + 500, [&] { loop.stop(); });
  rusage before{}, after{};
  ::getrusage(RUSAGE_THREAD, &before);
  loop.run();
  ::getrusage(RUSAGE_THREAD, &after);
  const long usedUs = (after.ru_utime.tv_sec - before.ru_utime.tv_sec) * 1000000 +
                      (after.ru_utime.tv_usec - before.ru_utime.tv_usec) +
                      (after.ru_stime.tv_sec - before.ru_stime.tv_sec) * 1000000 +
                      (after.ru_stime.tv_usec - before.ru_stime.tv_usec);
  EXPECT_LT(usedUs, 50000);
}

TEST(EventLoop, TheTimerQueueIsBounded) {
  EventLoop loop;
  for (size_t i = 0; i < EventLoop::kMaxTimers; ++i) ASSERT_TRUE(loop.at(0, [] {}));
  EXPECT_FALSE(loop.at(0, [] {}));
}

}  // namespace
}  // namespace vexa
