// Any lines into the operator console: it answers and the state stays within its invariants.
#include <algorithm>
#include <cstdlib>

#include "operator_console.h"

namespace {
struct ZeroRandom final : vexa::RandomSource {
  int R(int) override { return 0; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vexa::DeviceState state;
  state.locked([](vexa::DeviceData& d) { vexa::writeStartupDefaults(d); });
  vexa::ModelView view;
  ZeroRandom random;
  vexa::FaultInjector faults;
  vexa::Presenter presenter(state, view, random);
  view.onSliderChange = [&](int level, int value) { presenter.sliderChange(level, value); };
  vexa::OperatorConsole console(
      {state, presenter, view, faults, [] { return true; }, [] { return uint64_t{0}; },
       [](bool force) { return std::string(force ? "ok quit --force\n" : "ok quit\n"); },
       [] { return uint64_t{0}; }, [] { return uint64_t{0}; }});
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    const std::string out = console.execute(line);
    // A command (a line with anything but blanks) answers exactly one line; a blank one nothing.
    const bool blank = line.find_first_not_of(" \t\r") == std::string_view::npos;
    const auto lines = std::count(out.begin(), out.end(), '\n');
    if (lines != (blank ? 0 : 1) || (!out.empty() && out.back() != '\n')) std::abort();
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  state.locked([](const vexa::DeviceData& d) {
    if (d.VariantCode < 2 || d.VariantCode > 4) std::abort();
    if (!d.AutoMode && (d.live.Nv(0) > 600 || d.live.Nv(2) > 100)) std::abort();
  });
  const auto s = faults.settings();
  if (s.dropProbability < 0 || s.dropProbability > 1 || s.corruptProbability > 1) std::abort();
  return 0;
}
