// The interface over real units: their events as the interface's events, their snapshots,
// changes through the operator's controls, and the registry over several units.
#include <gtest/gtest.h>

#include <thread>

#include "event_hub.h"
#include "fake_unit_clock.h"
#include "owner_thread.h"
#include "temp_dir.h"
#include "unit_access.h"
#include "unit_event_bridge.h"
#include "units_registry.h"

namespace vexa::api {
namespace {

// A switch that opens or refuses as told.
class FakeEndpoint final : public UnitEndpoint {
 public:
  bool canOpen = true;
  Status setActive(bool active) override {
    if (active && !canOpen) return Status::Error("port taken");
    on_ = active;
    return Status::Ok();
  }
  bool active() const override { return on_; }

 private:
  bool on_ = true;
};

// Units numbered 1..n, each in its own directory, watched by one bridge.
struct Units {
  explicit Units(size_t n, EventSink& sink) : bridge(sink, n) {
    for (size_t i = 0; i < n; ++i) {
      dirs.push_back(std::make_unique<testing::TempDir>());
      UnitSettings s;
      s.number = static_cast<int>(i + 1);
      s.paths = StatePaths::forDirectory(dirs.back()->path());
      s.randomSeed = 5;
      units.push_back(std::make_unique<Unit>(s, clock));
      units.back()->load();
      endpoints.push_back(std::make_unique<FakeEndpoint>());
      units.back()->setEndpoint(endpoints.back().get());
      units.back()->setObserver(&bridge);
      controls.push_back(std::make_unique<UnitControls>(*units.back(), 5010 + i));
    }
  }
  ~Units() {
    for (auto& u : units) u->setObserver(nullptr);
  }
  std::string send(size_t number, const std::string& line) {
    testing::CollectingOut out;
    units[number - 1]->handleDatagram(line + "\n", out);
    return out.replies.empty() ? "" : out.replies[0];
  }
  std::vector<UnitControls*> all() {
    std::vector<UnitControls*> v;
    for (auto& c : controls) v.push_back(c.get());
    return v;
  }

  testing::FakeUnitClock clock;
  UnitEventBridge bridge;
  std::vector<std::unique_ptr<testing::TempDir>> dirs;
  std::vector<std::unique_ptr<Unit>> units;
  std::vector<std::unique_ptr<FakeEndpoint>> endpoints;
  std::vector<std::unique_ptr<UnitControls>> controls;
};

std::vector<UnitEvent> taken(EventQueue& queue) {
  std::vector<UnitEvent> got;
  queue.take(got, std::chrono::milliseconds(0));
  return got;
}

TEST(UnitEventBridge, TrafficBecomesRequestReplyAndWriteEventsInOrder) {
  EventHub hub;
  Units u(2, hub);
  auto queue = hub.subscribe({});
  const std::string framed = u.send(2, "wPr000,192,168,000,017,255,255,255,000,192,168,000,077");
  const std::vector<UnitEvent> got = taken(*queue);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].kind, EventKind::request);
  EXPECT_EQ(got[0].text, "wPr000,192,168,000,017,255,255,255,000,192,168,000,077");
  EXPECT_EQ(got[1].kind, EventKind::reply);
  EXPECT_EQ(got[1].text, "wPr,000,192.168.0.17,255.255.255.0,192.168.0.77,");
  EXPECT_EQ(got[1].framed, framed);
  EXPECT_EQ(got[2].kind, EventKind::write);
  EXPECT_EQ(got[2].text, "wPr");
  EXPECT_EQ(got[2].fields,
            "\"ip\":\"192.168.0.17\",\"mask\":\"255.255.255.0\",\"gateway\":\"192.168.0.77\"");
  for (const UnitEvent& e : got) EXPECT_EQ(e.unit, "2");

  const TrafficBoxes boxes = u.bridge.traffic(2);
  EXPECT_EQ(boxes.line, got[0].text);
  EXPECT_EQ(boxes.body, got[1].text);
  EXPECT_EQ(boxes.framed, framed);
  EXPECT_TRUE(u.bridge.traffic(1).framed.empty());
  EXPECT_TRUE(u.bridge.traffic(3).framed.empty());  // no such unit
}

TEST(UnitEventBridge, WriteEventsOfEachCommand) {
  EventHub hub;
  Units u(1, hub);
  auto queue = hub.subscribe({"", 1u << static_cast<int>(EventKind::write)});
  u.send(1, "wMc000,000,001,002,003,004,005");
  u.send(1, "wSc000,999,001,002");
  u.send(1, "rPr000");
  const std::vector<UnitEvent> got = taken(*queue);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].fields, "\"mac\":\"00-01-02-03-04-05\"");
  EXPECT_EQ(got[1].fields, "\"scale\":999,\"aj_temp\":1,\"aj_umid\":2");
}

TEST(UnitEventBridge, ControlsBecomeInputLevelAndEndpointEvents) {
  EventHub hub;
  Units u(1, hub);
  auto queue = hub.subscribe({});
  u.units[0]->setInput(5, Unit::InputAction::On);
  u.units[0]->setLevel(2, 33);
  ASSERT_TRUE(u.units[0]->setEndpointActive(false).ok());
  const std::vector<UnitEvent> got = taken(*queue);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].fields, "\"bit\":5,\"name\":\"reserva5\",\"on\":true");
  EXPECT_EQ(got[1].fields, "\"level\":\"umid\",\"value\":33");
  EXPECT_EQ(got[2].fields, "\"on\":false");
}

TEST(UnitEventBridge, WithoutReadersNothingIsPublishedButTheBoxesFill) {
  EventHub hub;
  Units u(1, hub);
  u.send(1, "snd000");
  u.units[0]->setInput(0, Unit::InputAction::On);
  EXPECT_EQ(hub.published(), 0u);
  EXPECT_EQ(u.bridge.traffic(1).line, "snd000");
}

TEST(UnitAccess, ASnapshotReadsTheUnitItsCountersAndBoxes) {
  EventHub hub;
  Units u(1, hub);
  u.send(1, "snd000");
  u.send(1, "rPr000");
  UnitControls& c = *u.controls[0];
  const UnitSnapshot s = snapshotOf(c, "1", u.bridge.traffic(1));
  EXPECT_EQ(s.id, "1");
  EXPECT_EQ(s.port, 5010);
  EXPECT_EQ(s.live.Nv(2), 50);
  EXPECT_EQ(s.variantCode, 4);
  EXPECT_TRUE(s.endpointOn);
  EXPECT_EQ(s.clickableInputs, 0xFD);
  EXPECT_EQ(s.levelTexts[0], "25,0");
  EXPECT_EQ(s.counters.datagrams, 2u);
  EXPECT_EQ(s.counters.replies, 2u);
  EXPECT_EQ(s.counters.lines[vexa::UnitCounters::kSnd], 1u);
  EXPECT_EQ(s.counters.lines[vexa::UnitCounters::kRPr], 1u);
  EXPECT_EQ(s.traffic[0], "rPr000 (6)");
  EXPECT_FALSE(s.traffic[2].empty());
  // A command is told by its exact letters: "SND" counts as another command.
  u.send(1, "SND000");
  const UnitSnapshot after = snapshotOf(c, "1", u.bridge.traffic(1));
  EXPECT_EQ(after.counters.lines[vexa::UnitCounters::kSnd], 1u);
  EXPECT_EQ(after.counters.lines[vexa::UnitCounters::kOther], 1u);
}

TEST(UnitAccess, RefusalsChangeNothing) {
  EventHub hub;
  Units u(1, hub);
  UnitControls& c = *u.controls[0];
  const std::string before = u.send(1, "rPr000");
  struct Case {
    const char* name;
    UnitChange change;
    const char* field;
  };
  std::vector<Case> cases(3);
  cases[0] = {"the reset input", {}, "inputs.1"};
  cases[0].change.inputs[0] = true;
  cases[0].change.inputs[1] = true;
  cases[1] = {"a level in auto mode", {}, "levels.umid"};
  cases[1].change.autoMode = true;
  cases[1].change.levels[2] = 20;
  cases[2] = {"an endpoint that cannot open", {}, "endpoint"};
  cases[2].change.endpoint = true;
  cases[2].change.inputs[0] = true;
  ASSERT_TRUE(c.setEndpoint(false).ok());
  u.endpoints[0]->canOpen = false;
  for (const Case& k : cases) {
    const ChangeResult r = applyChange(c, k.change);
    EXPECT_EQ(r.outcome, ChangeResult::Outcome::Refused) << k.name;
    EXPECT_EQ(r.field, k.field) << k.name;
    EXPECT_EQ(u.units[0]->read().inputs, 0x04) << k.name;
    EXPECT_FALSE(u.units[0]->read().autoMode) << k.name;
  }
  EXPECT_FALSE(u.units[0]->endpointActive());
  EXPECT_EQ(u.send(1, "rPr000"), before);
}

TEST(UnitAccess, LevelsGoThroughTheSlidersAndReportTheirClamping) {
  EventHub hub;
  Units u(1, hub);
  struct Case {
    int level, requested, applied;
  };
  for (const Case& k : {Case{2, 70, 70}, Case{2, 5000, 100}, Case{1, 27, 27}, Case{0, -50, 0}}) {
    UnitChange change;
    change.levels[k.level] = k.requested;
    const ChangeResult r = applyChange(*u.controls[0], change);
    ASSERT_EQ(r.outcome, ChangeResult::Outcome::Applied);
    EXPECT_EQ(u.units[0]->read().nv[k.level], k.applied) << k.level << " " << k.requested;
    EXPECT_EQ(r.clamped.size(), k.requested == k.applied ? 0u : 1u);
    if (!r.clamped.empty()) {
      EXPECT_EQ(r.clamped[0].applied, k.applied);
    }
  }
}

using Owner = testing::OwnerThread;

// Three units behind a registry whose owner thread runs.
class UnitsRegistryTest : public ::testing::Test {
 protected:
  EventHub hub;
  Units u{3, hub};
  OwnerQueue owner;
  UnitsRegistry registry{u.all(), owner, u.bridge};
  Owner loop{owner};
};

TEST_F(UnitsRegistryTest, EveryUnitByNumberAndChangesOnTheOwnerThreadOnly) {
  const auto all = registry.snapshotAll();
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ((*all)[i].id, std::to_string(i + 1));
  for (const char* id : {"0", "4", "01", "x", "", "1x", "-1"}) {
    EXPECT_EQ(registry.snapshot(id).outcome, UnitRegistry::Lookup::Outcome::UnknownUnit) << id;
    EXPECT_EQ(registry.apply(id, {}).outcome, ChangeResult::Outcome::UnknownUnit) << id;
  }
  UnitChange change;
  change.inputs[0] = true;
  const ChangeResult r = registry.apply("2", change);
  ASSERT_EQ(r.outcome, ChangeResult::Outcome::Applied);
  ASSERT_TRUE(r.after);
  EXPECT_EQ(r.after->id, "2");
  EXPECT_EQ(r.after->live.InputFlags(), 0x05);
  EXPECT_EQ(registry.snapshot("1").snapshot.live.InputFlags(), 0x04);
  EXPECT_EQ(registry.snapshot("3").snapshot.live.InputFlags(), 0x04);
}

TEST_F(UnitsRegistryTest, NamedUnitsInIdOrderAndTheCount) {
  const auto some = registry.snapshots({"3", "x", "01", "1", "4"});
  ASSERT_TRUE(some);
  ASSERT_EQ(some->size(), 2u);
  EXPECT_EQ((*some)[0].id, "1");
  EXPECT_EQ((*some)[1].id, "3");
  EXPECT_EQ((*some)[1].port, 5012);
  const auto none = registry.snapshots({});
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  EXPECT_EQ(registry.count(), 3u);
  EXPECT_TRUE(registry.has("3"));
  for (const char* id : {"0", "4", "01", "x", ""}) EXPECT_FALSE(registry.has(id)) << id;
}

TEST(UnitsRegistry, AClosedOwnerAnswersUnavailable) {
  EventHub hub;
  Units u(1, hub);
  OwnerQueue owner;
  UnitsRegistry registry(u.all(), owner, u.bridge);
  owner.close();
  EXPECT_FALSE(registry.snapshotAll());
  EXPECT_EQ(registry.snapshot("1").outcome, UnitRegistry::Lookup::Outcome::Unavailable);
  EXPECT_EQ(registry.apply("1", {}).outcome, ChangeResult::Outcome::Unavailable);
  EXPECT_FALSE(registry.snapshots({"1"}));
  EXPECT_FALSE(registry.count());
  EXPECT_TRUE(registry.has("1"));  // known without asking the owner
}

// The count (the health check's) does not wait for the owner: an owner that has not drained
// yet, as a busy loop, still has its units counted.
TEST(UnitsRegistry, TheCountDoesNotWaitForTheOwner) {
  EventHub hub;
  Units u(2, hub);
  OwnerQueue owner;
  UnitsRegistry registry(u.all(), owner, u.bridge);
  EXPECT_EQ(registry.count(), 2u);
  EXPECT_EQ(registry.count(), 2u);
}

}  // namespace
}  // namespace vexa::api
