#include "units_registry.h"

#include <algorithm>
#include <charconv>

namespace vexa::api {

UnitsRegistry::UnitsRegistry(std::vector<UnitControls*> controls, OwnerQueue& owner,
                             const UnitEventBridge& bridge)
    : controls_(std::move(controls)), owner_(owner), bridge_(bridge) {}

size_t UnitsRegistry::numberOf(std::string_view id) const {
  size_t number = 0;
  const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), number);
  if (error != std::errc() || end != id.data() + id.size() || id.empty() || id[0] == '0') return 0;
  return number >= 1 && number <= controls_.size() ? number : 0;
}

UnitSnapshot UnitsRegistry::read(size_t number) {
  return snapshotOf(*controls_[number - 1], std::to_string(number),
                    bridge_.traffic(static_cast<int>(number)));
}

std::optional<std::vector<UnitSnapshot>> UnitsRegistry::snapshotAll() {
  std::vector<UnitSnapshot> units(controls_.size());
  auto readAll = [&] {
    for (size_t i = 0; i < controls_.size(); ++i) units[i] = read(i + 1);
  };
  if (!owner_.call(readAll, kOwnerTimeout)) return std::nullopt;
  return units;
}

std::optional<std::vector<UnitSnapshot>> UnitsRegistry::snapshots(
    const std::set<std::string>& ids) {
  std::vector<size_t> numbers;
  for (const std::string& id : ids) {
    if (const size_t number = numberOf(id)) numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());  // distinct: an id has one spelling
  std::vector<UnitSnapshot> units(numbers.size());
  auto readThese = [&] {
    for (size_t i = 0; i < numbers.size(); ++i) units[i] = read(numbers[i]);
  };
  if (!owner_.call(readThese, kOwnerTimeout)) return std::nullopt;
  return units;
}

std::optional<size_t> UnitsRegistry::count() {
  // The number is fixed; the queue tells, without waiting, whether the owner thread answers.
  if (!owner_.answering(kOwnerTimeout)) return std::nullopt;
  return controls_.size();
}

bool UnitsRegistry::has(std::string_view id) {
  return numberOf(id) != 0;
}

UnitsRegistry::Lookup UnitsRegistry::snapshot(std::string_view id) {
  Lookup found;
  const size_t number = numberOf(id);
  if (!number) {
    found.outcome = Lookup::Outcome::UnknownUnit;
  } else if (!owner_.call([&] { found.snapshot = read(number); }, kOwnerTimeout)) {
    found.outcome = Lookup::Outcome::Unavailable;
  }
  return found;
}

ChangeResult UnitsRegistry::apply(std::string_view id, const UnitChange& change) {
  ChangeResult result;
  const size_t number = numberOf(id);
  if (!number) {
    result.outcome = ChangeResult::Outcome::UnknownUnit;
    return result;
  }
  auto applyHere = [&] {
    result = applyChange(*controls_[number - 1], change);
    if (result.outcome == ChangeResult::Outcome::Applied) result.after = read(number);
  };
  if (!owner_.call(applyHere, kOwnerTimeout)) {
    result = {};
    result.outcome = ChangeResult::Outcome::Unavailable;
    result.message = "the unit did not answer in time";
  }
  return result;
}

}  // namespace vexa::api
