#include "event_loop.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <thread>

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
