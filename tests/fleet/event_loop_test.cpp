#include "event_loop.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <set>
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

// Many datagram sockets, each with datagrams queued, on a loop: every call of a socket's
// handler takes at most kBatch of them (a handler's bounded piece of work) and logs whose turn
// it was. `onTurn` runs at the start of each call; the loop stops once all were taken.
class Flooded {
 public:
  static constexpr int kBatch = 4;

  Flooded(EventLoop& loop, int sockets, int datagrams) : loop_(loop) {
    const int all = sockets * datagrams;
    for (int i = 0; i < sockets; ++i) {
      std::array<int, 2> pair{};
      EXPECT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0, pair.data()), 0);
      pairs_.push_back(pair);
      for (int d = 0; d < datagrams; ++d) {
        EXPECT_EQ(::send(pair[1], "x", 1, 0), 1) << "socket buffer too small for the test";
      }
      loop.add(pair[0], [this, i, all] {
        if (onTurn) onTurn();
        char c;
        for (int d = 0; d < kBatch && ::recv(pairs_[static_cast<size_t>(i)][0], &c, 1, 0) == 1;
             ++d) {
          ++taken;
        }
        turns.push_back(i);
        passes.push_back(loop_.pass());
        behind.push_back(loop_.behind());
        if (taken == all) loop_.stop();
      });
    }
  }
  ~Flooded() {
    for (auto& p : pairs_) {
      loop_.remove(p[0]);
      ::close(p[0]);
      ::close(p[1]);
    }
  }

  std::function<void()> onTurn;
  int taken = 0;
  std::vector<int> turns;  // the socket of each handler call, in order
  std::vector<uint64_t> passes;
  std::vector<bool> behind;

 private:
  EventLoop& loop_;
  std::vector<std::array<int, 2>> pairs_;
};

// A readable eventfd, as the signals, the console or another thread's requests make one.
struct Ready {
  Ready() : fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~Ready() { ::close(fd); }
  void raise() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
  }
  void lower() const {
    uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
  }
  int fd;
};

// The work that must not wait behind the datagrams (a priority descriptor, a task posted) is
// done before more than the batch being taken when it arrived, whichever way it arrives. The
// pass's time is unbounded here: only the priority work may break into it.
TEST(EventLoop, PriorityWorkComesBeforeTheNextBatchOfAFloodedLoop) {
  enum class Arrives { ReadyAtStart, ReadyDuringAPass, Posted, PostedFromAnotherThread };
  for (const Arrives arrives : {Arrives::ReadyAtStart, Arrives::ReadyDuringAPass, Arrives::Posted,
                                Arrives::PostedFromAnotherThread}) {
    SCOPED_TRACE(static_cast<int>(arrives));
    LoopLimits limits;
    limits.priorityEvery = std::chrono::microseconds(0);
    limits.passTime = std::chrono::seconds(60);
    EventLoop loop(limits);
    Flooded flood(loop, 40, 50);
    Ready ready;
    int takenBefore = -1;
    auto priorityWork = [&] {
      if (takenBefore < 0) takenBefore = flood.taken;
    };
    ASSERT_TRUE(loop.addPriority(ready.fd,
                                 [&] {
                                   ready.lower();
                                   priorityWork();
                                 })
                    .ok());
    // It arrives with the fifth turn of the flood's first pass.
    int turns = 0, arrivedAt = 0;
    flood.onTurn = [&] {
      if (++turns != 5) return;
      arrivedAt = flood.taken;
      if (arrives == Arrives::ReadyDuringAPass) ready.raise();
      if (arrives == Arrives::Posted) loop.post(priorityWork);
      if (arrives == Arrives::PostedFromAnotherThread) {
        std::thread([&] { loop.post(priorityWork); }).join();
      }
    };
    if (arrives == Arrives::ReadyAtStart) ready.raise();
    loop.run();
    ASSERT_GE(takenBefore, 0) << "the priority work never ran";
    EXPECT_LE(takenBefore - arrivedAt, Flooded::kBatch) << "taken before it: " << takenBefore;
    EXPECT_EQ(flood.taken, 40 * 50);  // and the flood was read to its end
  }
}

// A stop from a priority handler (a signal) ends the loop before another batch is taken.
TEST(EventLoop, AStopFromAPriorityHandlerTakesNoMoreBatches) {
  LoopLimits limits;
  limits.priorityEvery = std::chrono::microseconds(0);
  limits.passTime = std::chrono::seconds(60);
  EventLoop loop(limits);
  Flooded flood(loop, 20, 40);
  Ready signal;
  int takenAtStop = -1;
  ASSERT_TRUE(loop.addPriority(signal.fd,
                               [&] {
                                 signal.lower();
                                 takenAtStop = flood.taken;
                                 loop.stop();
                               })
                  .ok());
  int turns = 0;
  flood.onTurn = [&] {
    if (++turns == 3) signal.raise();
  };
  loop.run();
  EXPECT_EQ(takenAtStop, 3 * Flooded::kBatch);
  EXPECT_EQ(flood.taken, takenAtStop);
}

// A pass is bounded (in handlers, or in time) and the descriptors it did not reach are served
// first on the next: every socket has its turn before any has a second one.
TEST(EventLoop, ALongPassEndsAndTheNextServesTheRestFirst) {
  struct Case {
    const char* name;
    size_t handlersPerPass;
    std::chrono::microseconds passTime;
    size_t handlersInAPass;
  };
  for (const Case& c :
       {Case{"three handlers a pass", 3, std::chrono::seconds(60), 3},
        Case{"no time for a second handler", 4096, std::chrono::microseconds(0), 1}}) {
    SCOPED_TRACE(c.name);
    LoopLimits limits;
    limits.handlersPerPass = c.handlersPerPass;
    limits.passTime = c.passTime;
    EventLoop loop(limits);
    const int sockets = 10;
    Flooded flood(loop, sockets, 40);
    loop.run();
    ASSERT_EQ(flood.taken, sockets * 40);
    ASSERT_EQ(flood.turns.size(), static_cast<size_t>(sockets * 40 / Flooded::kBatch));
    for (size_t i = 0; i + sockets <= flood.turns.size(); ++i) {
      const std::set<int> window(flood.turns.begin() + static_cast<long>(i),
                                 flood.turns.begin() + static_cast<long>(i) + sockets);
      ASSERT_EQ(window.size(), static_cast<size_t>(sockets))
          << "a socket's second turn at " << i << testing::PrintToString(flood.turns);
    }
    for (size_t i = 0; i < flood.turns.size(); ++i) {
      ASSERT_EQ(flood.passes[i], flood.passes[0] + i / c.handlersInAPass) << i;
      // From the second pass on, sockets wait from the one before: the loop is behind.
      ASSERT_EQ(flood.behind[i], i >= c.handlersInAPass) << i;
    }
  }
}

}  // namespace
}  // namespace vexa
