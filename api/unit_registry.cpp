#include "unit_registry.h"

namespace vexa::api {

std::optional<std::vector<UnitSnapshot>> UnitRegistry::snapshots(const std::set<std::string>& ids) {
  auto units = snapshotAll();
  if (units) std::erase_if(*units, [&ids](const UnitSnapshot& u) { return !ids.count(u.id); });
  return units;
}

std::optional<size_t> UnitRegistry::count() {
  const auto units = snapshotAll();
  if (!units) return std::nullopt;
  return units->size();
}

bool UnitRegistry::has(std::string_view id) {
  return snapshot(id).outcome != Lookup::Outcome::UnknownUnit;
}

}  // namespace vexa::api
