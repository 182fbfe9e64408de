// A stand-in fleet for the dashboard's scale test: the real HTTP interface over N fake units
// whose inputs a click toggles, with a background load of request events and level changes.
// fake_fleet UNITS EVENTS_PER_SECOND; prints "API on http://127.0.0.1:PORT/" and runs until
// its standard input closes.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>

#include "api_server.h"

namespace {

using namespace vexa::api;

class FakeFleet final : public UnitRegistry {
 public:
  explicit FakeFleet(int size) : units_(static_cast<size_t>(size)) {
    for (size_t i = 0; i < units_.size(); ++i) {
      UnitSnapshot& u = units_[i];
      u.id = std::to_string(i + 1);
      u.port = static_cast<uint16_t>(6000 + i);
      u.endpointOn = i % 10 != 0;
      u.clickableInputs = 0xFD;
      u.live.setInputFlags(4);
      u.levelTexts = {"25,0", "20", "50"};
    }
  }
  std::optional<std::vector<UnitSnapshot>> snapshotAll() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return units_;
  }
  Lookup snapshot(std::string_view id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Lookup found;
    if (UnitSnapshot* u = find(id))
      found.snapshot = *u;
    else
      found.outcome = Lookup::Outcome::UnknownUnit;
    return found;
  }
  ChangeResult apply(std::string_view id, const UnitChange& change) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ChangeResult result;
    UnitSnapshot* u = find(id);
    if (!u) {
      result.outcome = ChangeResult::Outcome::UnknownUnit;
      return result;
    }
    uint16_t inputs = u->live.InputFlags();
    for (const int bit : change.toggles) inputs = static_cast<uint16_t>(inputs ^ (1u << bit));
    u->live.setInputFlags(inputs);
    result.after = *u;
    return result;
  }
  // A request handled by a random unit, sometimes with a level change.
  std::string tick(std::mt19937& random) {
    std::lock_guard<std::mutex> lock(mutex_);
    UnitSnapshot& u = units_[random() % units_.size()];
    u.counters.lines[0] += 1;
    if (random() % 8 == 0) {
      const auto level = static_cast<int16_t>(random() % 100);
      u.live.setNv(2, level);
      u.levelTexts[2] = std::to_string(level);
    }
    return u.id;
  }

 private:
  UnitSnapshot* find(std::string_view id) {
    for (UnitSnapshot& u : units_) {
      if (u.id == id) return &u;
    }
    return nullptr;
  }
  std::mutex mutex_;
  std::vector<UnitSnapshot> units_;
};

}  // namespace

int main(int argc, char** argv) {
  const int size = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int rate = argc > 2 ? std::atoi(argv[2]) : 20000;
  FakeFleet fleet(size);
  EventHub hub;
  ApiServer::Options options;
  options.version = "fake";
  ApiServer server(fleet, hub, options);
  if (!server.start().ok()) return 1;
  std::fprintf(stderr, "API on http://127.0.0.1:%u/\n", server.port());
  std::atomic<bool> stop{false};
  std::thread load([&] {
    std::mt19937 random(1);
    const auto step = std::chrono::microseconds(1000);
    auto next = std::chrono::steady_clock::now();
    while (!stop) {
      for (int i = 0; i < rate / 1000; ++i) {
        hub.publish(UnitEvent{0, 0, fleet.tick(random), EventKind::request, "snd000", {}, {}});
      }
      next += step;
      std::this_thread::sleep_until(next);
    }
  });
  char c;
  while (::read(0, &c, 1) > 0) {
  }
  stop = true;
  load.join();
  return 0;
}
