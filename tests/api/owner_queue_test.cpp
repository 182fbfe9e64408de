#include "owner_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "owner_thread.h"

namespace vexa::api {
namespace {

using Owner = testing::OwnerThread;

TEST(OwnerQueue, RunsTheTaskOnTheOwnerThread) {
  OwnerQueue queue;
  Owner owner(queue);
  for (int i = 0; i < 20; ++i) {
    std::thread::id ranOn;
    int value = 0;
    ASSERT_TRUE(queue.call(
        [&] {
          ranOn = std::this_thread::get_id();
          value = i;
        },
        std::chrono::seconds(5)));
    EXPECT_EQ(ranOn, owner.id());
    EXPECT_EQ(value, i);
  }
}

// A task the owner does not reach in time is withdrawn and never runs.
TEST(OwnerQueue, ATaskNotStartedInTimeNeverRuns) {
  OwnerQueue queue;
  bool ran = false;
  EXPECT_FALSE(queue.call([&] { ran = true; }, std::chrono::milliseconds(20)));
  queue.drain();
  EXPECT_FALSE(ran);
}

TEST(OwnerQueue, CloseRefusesAndReleasesWaiters) {
  OwnerQueue queue;
  std::atomic<int> refused{0};
  std::vector<std::thread> callers;
  for (int i = 0; i < 3; ++i) {
    callers.emplace_back([&] {
      if (!queue.call([] {}, std::chrono::seconds(300))) ++refused;
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto closedAt = std::chrono::steady_clock::now();
  queue.close();
  for (auto& t : callers) t.join();
  EXPECT_EQ(refused.load(), 3);
  // Woken by the close, not by their own time limit (a hang bound, not a speed check).
  EXPECT_LT(std::chrono::steady_clock::now() - closedAt, std::chrono::seconds(30));
  EXPECT_FALSE(queue.call([] {}, std::chrono::seconds(1)));
}

TEST(OwnerQueue, ATaskThatThrowsStillEnds) {
  OwnerQueue queue;
  Owner owner(queue);
  EXPECT_TRUE(queue.call([] { throw std::runtime_error("x"); }, std::chrono::seconds(5)));
  EXPECT_TRUE(queue.call([] {}, std::chrono::seconds(5)));
}

// Whether the owner drains, asked without waiting: a queue nobody drains says so once its
// oldest task (the probe the first question queued, or a withdrawn call) is past the limit.
TEST(OwnerQueue, AnsweringTellsWithoutWaitingWhetherTheOwnerDrains) {
  using std::chrono::milliseconds;
  OwnerQueue queue;
  EXPECT_TRUE(queue.answering(milliseconds(10)));  // nothing waited yet: a probe is queued
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_FALSE(queue.answering(milliseconds(10)));
  EXPECT_TRUE(queue.answering(std::chrono::seconds(30)));
  queue.drain();
  EXPECT_TRUE(queue.answering(milliseconds(10)));
  queue.drain();
  EXPECT_FALSE(queue.call([] {}, milliseconds(1)));  // withdrawn, still in the queue
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_FALSE(queue.answering(milliseconds(10)));
  {
    Owner owner(queue);
    EXPECT_TRUE(queue.call([] {}, std::chrono::seconds(30)));  // the owner drained it all
    EXPECT_TRUE(queue.answering(std::chrono::seconds(30)));
  }
  queue.close();
  EXPECT_FALSE(queue.answering(std::chrono::seconds(30)));
}

}  // namespace
}  // namespace vexa::api
