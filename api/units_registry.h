#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "owner_queue.h"
#include "unit_access.h"
#include "unit_event_bridge.h"
#include "unit_registry.h"

namespace vexa::api {

// The registry over a set of units numbered 1..N (a fleet's, or the window's one): ids are the
// numbers in decimal. Every read and change is carried to the units' owner thread through the
// owner queue and waited for at most kOwnerTimeout; the owner drains the queue (the fleet's
// loop watches its descriptor, the window a socket notifier).
class UnitsRegistry final : public UnitRegistry {
 public:
  static constexpr std::chrono::milliseconds kOwnerTimeout{2000};

  // `controls[i]` is unit number i + 1; they outlive the registry.
  UnitsRegistry(std::vector<UnitControls*> controls, OwnerQueue& owner,
                const UnitEventBridge& bridge);

  std::optional<std::vector<UnitSnapshot>> snapshotAll() override;
  // These read only the named units; count and has read none, and neither waits for the owner
  // (count answers nothing when the owner has left a request waiting past kOwnerTimeout).
  std::optional<std::vector<UnitSnapshot>> snapshots(const std::set<std::string>& ids) override;
  std::optional<size_t> count() override;
  bool has(std::string_view id) override;
  Lookup snapshot(std::string_view id) override;
  ChangeResult apply(std::string_view id, const UnitChange& change) override;

 private:
  // The unit number of `id`, or 0.
  size_t numberOf(std::string_view id) const;
  UnitSnapshot read(size_t number);

  const std::vector<UnitControls*> controls_;
  OwnerQueue& owner_;
  const UnitEventBridge& bridge_;
};

}  // namespace vexa::api
