#include "event_hub.h"

#include <gtest/gtest.h>

#include <thread>

namespace vexa::api {
namespace {

UnitEvent event(const std::string& unit, EventKind kind, const std::string& text = "") {
  return UnitEvent{0, 0, unit, kind, text, {}, {}};
}

TEST(EventHub, NobodyWantsEventsUntilSomeoneReads) {
  EventHub hub;
  EXPECT_FALSE(hub.wanted());
  auto queue = hub.subscribe({});
  EXPECT_TRUE(hub.wanted());
  auto marks = hub.watchChanges();
  hub.unsubscribe(queue);
  EXPECT_TRUE(hub.wanted());
  hub.unwatch(marks);
  EXPECT_FALSE(hub.wanted());
}

// A reader that sleeps is woken by the first event after each take, not by every event, and
// never by events it filters out or after it left.
TEST(EventHub, TheWakeUpComesOnceForEachEmptyQueue) {
  EventHub hub;
  int queueWakes = 0, markWakes = 0;
  EventQueue::Filter filter;
  filter.unit = "1";
  auto queue = hub.subscribe(filter, 4, [&] { ++queueWakes; });
  auto marks = hub.watchChanges([&] { ++markWakes; });
  hub.publish(event("2", EventKind::request));
  EXPECT_EQ(queueWakes, 0);
  EXPECT_EQ(markWakes, 1);
  for (int i = 0; i < 10; ++i) hub.publish(event("1", EventKind::request));  // 6 lost
  EXPECT_EQ(queueWakes, 1);
  EXPECT_EQ(markWakes, 1);
  std::vector<UnitEvent> got;
  EXPECT_EQ(queue->take(got, std::chrono::milliseconds(0)), 6u);
  EXPECT_EQ(marks->take(std::chrono::milliseconds(0)), (std::set<std::string>{"1", "2"}));
  hub.publish(event("1", EventKind::request));
  EXPECT_EQ(queueWakes, 2);
  EXPECT_EQ(markWakes, 2);
  hub.unsubscribe(queue);
  hub.unwatch(marks);
  hub.publish(event("1", EventKind::request));
  EXPECT_EQ(queueWakes, 2);
  EXPECT_EQ(markWakes, 2);
}

TEST(EventHub, AReaderGetsEveryEventInOrderWithSequenceAndTime) {
  EventHub hub;
  auto queue = hub.subscribe({});
  for (int i = 0; i < 100; ++i) hub.publish(event("1", EventKind::request, std::to_string(i)));
  std::vector<UnitEvent> got;
  EXPECT_EQ(queue->take(got, std::chrono::milliseconds(0)), 0u);
  ASSERT_EQ(got.size(), 100u);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].seq, i + 1);
    EXPECT_EQ(got[i].text, std::to_string(i));
    if (i) {
      EXPECT_GE(got[i].timeNs, got[i - 1].timeNs);
    }
  }
  EXPECT_EQ(hub.published(), 100u);
}

// Taken a piece at a time, the events come oldest first, none twice, none skipped.
TEST(EventHub, TakingAPieceLeavesTheRestInOrder) {
  EventHub hub;
  auto queue = hub.subscribe({});
  for (int i = 0; i < 10; ++i) hub.publish(event("1", EventKind::request, std::to_string(i)));
  std::vector<UnitEvent> got;
  std::vector<std::string> texts;
  for (size_t piece : {4u, 4u, 4u, 4u}) {
    queue->take(got, std::chrono::milliseconds(0), piece);
    EXPECT_LE(got.size(), piece);
    for (const UnitEvent& e : got) texts.push_back(e.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
}

// A full queue loses what comes next and says how much, once; the publisher never waits.
TEST(EventHub, ASlowReaderLosesEventsAndIsTold) {
  for (const size_t capacity : {size_t{1}, size_t{2}, size_t{10}, size_t{100}}) {
    EventHub hub;
    auto slow = hub.subscribe({}, capacity);
    auto fast = hub.subscribe({}, 1000);
    for (size_t i = 0; i < capacity + 7; ++i) hub.publish(event("1", EventKind::reply));
    std::vector<UnitEvent> got;
    EXPECT_EQ(slow->take(got, std::chrono::milliseconds(0)), 7u) << capacity;
    EXPECT_EQ(got.size(), capacity);
    EXPECT_EQ(got.back().seq, capacity);
    EXPECT_EQ(slow->take(got, std::chrono::milliseconds(0)), 0u);  // reported once
    EXPECT_EQ(slow->lostTotal(), 7u);
    EXPECT_EQ(fast->take(got, std::chrono::milliseconds(0)), 0u);
    EXPECT_EQ(got.size(), capacity + 7);
    EXPECT_EQ(hub.lost(), 7u);
    // Once drained, it receives again.
    hub.publish(event("1", EventKind::reply));
    slow->take(got, std::chrono::milliseconds(0));
    EXPECT_EQ(got.size(), 1u);
  }
}

TEST(EventHub, FiltersByUnitAndKind) {
  EventHub hub;
  EventQueue::Filter writesOf2;
  writesOf2.unit = "2";
  writesOf2.kinds = 1u << static_cast<unsigned>(EventKind::write);
  auto queue = hub.subscribe(writesOf2);
  for (const char* unit : {"1", "2", "22"}) {
    for (int k = 0; k < kEventKindCount; ++k) hub.publish(event(unit, static_cast<EventKind>(k)));
  }
  std::vector<UnitEvent> got;
  queue->take(got, std::chrono::milliseconds(0));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].unit, "2");
  EXPECT_EQ(got[0].kind, EventKind::write);
}

TEST(EventHub, ChangeMarksHoldEachUnitOnce) {
  EventHub hub;
  auto marks = hub.watchChanges();
  for (int i = 0; i < 50; ++i) hub.publish(event(i % 2 ? "a" : "b", EventKind::request));
  EXPECT_EQ(marks->take(std::chrono::milliseconds(0)), (std::set<std::string>{"a", "b"}));
  EXPECT_TRUE(marks->take(std::chrono::milliseconds(0)).empty());
}

TEST(EventHub, TakeWaitsForTheFirstEvent) {
  EventHub hub;
  auto queue = hub.subscribe({});
  std::thread publisher([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    hub.publish(event("1", EventKind::input));
  });
  std::vector<UnitEvent> got;
  queue->take(got, std::chrono::seconds(5));
  publisher.join();
  EXPECT_EQ(got.size(), 1u);
}

// Several publishers and a reader at once: no event is lost or counted twice.
TEST(EventHub, PublishersAndReadersOnManyThreads) {
  EventHub hub;
  auto queue = hub.subscribe({}, 1 << 20);
  constexpr int kThreads = 4, kEach = 2000;
  std::vector<std::thread> publishers;
  for (int t = 0; t < kThreads; ++t) {
    publishers.emplace_back([&hub, t] {
      for (int i = 0; i < kEach; ++i) hub.publish(event(std::to_string(t), EventKind::request));
    });
  }
  size_t received = 0;
  uint64_t lastSeq = 0;
  std::vector<UnitEvent> got;
  while (received < kThreads * kEach) {
    queue->take(got, std::chrono::milliseconds(100));
    for (const UnitEvent& e : got) {
      EXPECT_GT(e.seq, lastSeq);
      lastSeq = e.seq;
    }
    received += got.size();
  }
  for (auto& t : publishers) t.join();
  EXPECT_EQ(received, size_t{kThreads * kEach});
  EXPECT_EQ(hub.lost(), 0u);
}

}  // namespace
}  // namespace vexa::api
