// Any lines into a unit's console: every command answers one line, and the state stays within
// its invariants.
#include <algorithm>
#include <cstdlib>

#include "unit_console.h"

namespace {
struct FixedClock final : vexa::UnitClock {
  int64_t now = 0;
  int64_t nowMs() override { return now += 7; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FixedClock clock;
  vexa::UnitSettings settings;
  settings.paths = vexa::StatePaths::forDirectory("/nonexistent-vexa-fuzz/");
  settings.randomSeed = 1;
  vexa::Unit unit(settings, clock);
  unit.load();
  vexa::UnitConsole console(unit);
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const auto words = vexa::UnitConsole::wordsOf(text.substr(0, end));
    if (!words.empty()) {
      bool known = false;
      const std::string out = console.execute(words, known);
      // A known command answers exactly one line; an unknown one nothing (its caller answers).
      const auto lines = std::count(out.begin(), out.end(), '\n');
      if (lines != (known ? 1 : 0) || (!out.empty() && out.back() != '\n')) std::abort();
    }
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  unit.state().locked([](const vexa::DeviceData& d) {
    if (d.VariantCode < 2 || d.VariantCode > 4) std::abort();
    if (!d.AutoMode && (d.live.Nv(0) > 600 || d.live.Nv(2) > 100)) std::abort();
  });
  const auto s = unit.faults();
  if (s.dropProbability < 0 || s.dropProbability > 1 || s.corruptProbability > 1) std::abort();
  return 0;
}
