#include "live_ticks.h"

#include "bits.h"
#include "text_format.h"

namespace vexa {

bool resetTickOn(DeviceData& d) {
  if (d.ResetCountdown > 0) --d.ResetCountdown;
  const bool held = d.ResetCountdown > 0;
  uint16_t flags = d.live.InputFlags();
  SetBit(flags, kReset, held);
  d.live.setInputFlags(flags);
  return held;
}

bool resetTick(DeviceState& state) {
  return state.locked([](DeviceData& d) { return resetTickOn(d); });
}

void measurementTick(DeviceState& state, RandomSource& random) {
  state.locked([&](DeviceData& d) { measurementTickOn(d, random); });
}

void measurementTickOn(DeviceData& d, RandomSource& random, unsigned heldLevels) {
  if (d.AutoMode) {
    const int drawn[3] = {230 + random.R(30), 25 + random.R(10), 60 + random.R(20)};
    for (int level = 0; level < 3; ++level) {
      if (!(heldLevels & (1u << level))) d.live.setNv(level, static_cast<int16_t>(drawn[level]));
    }
  }
  std::string text;
  appendDecimal(text, d.live.Nv(1));
  text += ',';
  appendDecimal(text, d.live.Nv(2));
  text += ',';
  appendDecimal(text, d.live.Nv(0));
  text += ',';
  text += d.FlagsText;
  d.MeasureText = std::move(text);
}

std::string flagsTextOf(uint16_t flags) {
  const char c[5] = {BitIsSet(flags, kPresenca) ? '1' : '0', BitIsSet(flags, kReset) ? '0' : '1',
                     BitIsSet(flags, kRede) ? '1' : '0', BitIsSet(flags, kRede2) ? '1' : '0',
                     BitIsSet(flags, kRede3) ? '1' : '0'};
  std::string text;
  for (char ch : c) {
    text += ch;
    text += ',';
  }
  return text;
}

void flagsStepOn(DeviceData& d) {
  d.FlagsText = flagsTextOf(d.live.InputFlags());
}

void flagsStep(DeviceState& state) {
  state.locked([](DeviceData& d) { flagsStepOn(d); });
}

}  // namespace vexa
