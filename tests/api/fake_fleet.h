#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "unit_registry.h"

namespace vexa::testing {

using api::ChangeResult;
using api::UnitChange;
using api::UnitRegistry;
using api::UnitSnapshot;

// A registry of units "10", "11", ... that answers at once (or, with `answering` false, never).
// Safe from the server's worker threads.
class FakeFleet final : public UnitRegistry {
 public:
  std::atomic<bool> answering{true};
  std::atomic<int> size{3};

  // While blocked, snapshotAll waits (as for a busy owner thread) until unblock.
  void block() {
    std::lock_guard<std::mutex> lock(mutex_);
    blocked_ = true;
  }
  void unblock() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      blocked_ = false;
    }
    changed_.notify_all();
  }
  // Until a call waits in snapshotAll (bounded by 30 s to catch a hang).
  bool waitUntilBlocked() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [this] { return waiting_ > 0; });
  }

  std::optional<std::vector<UnitSnapshot>> snapshotAll() override {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ++waiting_;
      changed_.notify_all();
      changed_.wait(lock, [this] { return !blocked_; });
      --waiting_;
    }
    if (!answering) return std::nullopt;
    std::vector<UnitSnapshot> units;
    for (int i = 0; i < size; ++i) units.push_back(unit(std::to_string(10 + i)));
    return units;
  }
  Lookup snapshot(std::string_view id) override {
    Lookup found;
    if (!answering)
      found.outcome = Lookup::Outcome::Unavailable;
    else if (id.size() != 2 || id < "10" || id > "12")
      found.outcome = Lookup::Outcome::UnknownUnit;
    else
      found.snapshot = unit(std::string(id));
    return found;
  }
  ChangeResult apply(std::string_view id, const UnitChange& change) override {
    ChangeResult result;
    if (snapshot(id).outcome != Lookup::Outcome::Found) {
      result.outcome = ChangeResult::Outcome::UnknownUnit;
      return result;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    applied_.push_back(change);
    result.after = unit(std::string(id));
    return result;
  }
  std::vector<UnitChange> applied() {
    std::lock_guard<std::mutex> lock(mutex_);
    return applied_;
  }

 private:
  static UnitSnapshot unit(const std::string& id) {
    UnitSnapshot u;
    u.id = id;
    u.port = static_cast<uint16_t>(5000 + std::stoi(id));
    u.counters.datagrams = 100;
    return u;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool blocked_ = false;
  int waiting_ = 0;
  std::vector<UnitChange> applied_;
};

}  // namespace vexa::testing
