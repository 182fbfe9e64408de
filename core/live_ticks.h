#pragma once

#include "clock.h"
#include "device_state.h"

namespace vexa {

// The periodic work of the simulated device. Each call is one critical section on the state.

// Reset tick (every 10 ms): counts ResetCountdown down while above 0 and mirrors it in input
// bit 1. Returns whether the reset indicator is lit.
bool resetTick(DeviceState& state);

// Measurement tick (every 2000 ms, and once at start-up): draws random levels in auto mode,
// then rebuilds MeasureText as Nv01,Nv02,Nv00, + FlagsText.
void measurementTick(DeviceState& state, RandomSource& random);

// Flags step (first step of every 100 ms tick): builds FlagsText from input bits 0..4, the
// reset bit inverted.
void flagsStep(DeviceState& state);

// The FlagsText of an input word.
std::string flagsTextOf(uint16_t inputFlags);

// The same three steps on state the caller already holds locked.
bool resetTickOn(DeviceData& d);
// `heldLevels`: bit L set keeps level L out of auto mode's draw (its random value is drawn all
// the same, so the other levels see the same sequence).
void measurementTickOn(DeviceData& d, RandomSource& random, unsigned heldLevels = 0);
void flagsStepOn(DeviceData& d);

}  // namespace vexa
