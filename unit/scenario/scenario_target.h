#pragma once

#include <string>

namespace vexa {

// What a running scenario does to one simulated unit: the same operations an operator has.
// The unit implements it; a runner calls it from the thread that calls the runner.
class ScenarioTarget {
 public:
  virtual ~ScenarioTarget() = default;

  // The level (0 battery, 1 temperature, 2 humidity) now follows the scenario: auto mode and the
  // slider are overridden for it, and `source` says why (for a tooltip, the console, the API).
  virtual void claimLevel(int level, const std::string& source) = 0;
  // The level is the operator's again; it keeps its last value.
  virtual void releaseLevel(int level) = 0;
  // Sets a level in its own units (raw battery value, degrees, percent) as moving the slider
  // does: the unit clamps it to the slider's range and applies the level-to-slider factor.
  virtual void setLevel(int level, int value) = 0;

  // Sets input bit 0 or 2..7 (bit 1 belongs to the reset countdown).
  virtual void setInput(int bit, bool on) = 0;
  // Switches the UDP endpoint on or off (off: the unit is unplugged).
  virtual void setEndpoint(bool on) = 0;
  // Fault injection: drop and corrupt probabilities 0..1, reply delay and jitter in ms.
  virtual void setFaults(double drop, int delayMs, int jitterMs, double corrupt) = 0;
  virtual void clearFaults() = 0;
  // Holds the reset input for `seconds`, exactly as an accepted rst does.
  virtual void holdReset(int seconds) = 0;
};

}  // namespace vexa
