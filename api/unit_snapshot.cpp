#include "unit_snapshot.h"

namespace vexa::api {

size_t commandIndexOf(std::string_view body) {
  const std::string_view command = body.substr(0, body.find(','));
  for (size_t i = 0; i + 1 < kCommandNames.size(); ++i) {
    if (command == kCommandNames[i]) return i;
  }
  return kCommandNames.size() - 1;
}

bool UnitChange::empty() const {
  if (resetToDefaults || autoMode || endpoint || variantCode || batteryItem || faults ||
      startScenario || stopScenario) {
    return false;
  }
  for (const auto& i : inputs)
    if (i) return false;
  for (const auto& l : levels)
    if (l) return false;
  return toggles.empty();
}

}  // namespace vexa::api
