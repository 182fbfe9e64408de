#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "unit.h"

namespace vexa {

// The operator's commands on one unit, one command per line: the same operations as the
// window's controls, so a console action and a click have the same effect. A malformed command
// changes nothing and answers "error: ...". Safe from any thread (it works through the unit),
// apart from `scenario start|stop`, which is for the thread that drives the unit's scenario.
class UnitConsole {
 public:
  explicit UnitConsole(Unit& unit) : unit_(unit) {}

  // Carries out one command (already split into words, the first the command); returns its
  // answer, one line: "ok" and what changed (a clamped level says so), "error: ..." (nothing
  // changed), or the status. Unknown commands answer nothing and set `known` false, so a caller
  // can try its own.
  std::string execute(const std::vector<std::string>& words, bool& known);

  // One line of the unit's state ("endpoint=on variant=150 ..."), or a JSON object.
  std::string status(bool json);

  // The commands this console understands, "; "-separated on one line, for a help text.
  static std::string helpText();

  static std::vector<std::string> wordsOf(std::string_view line);
  static std::string error(const std::string& what) { return "error: " + what + "\n"; }

 private:
  std::string input(const std::string& which, const std::string& how);
  std::string level(const std::string& which, const std::string& value);
  std::string fault(const std::vector<std::string>& words);
  std::string scenario(const std::vector<std::string>& words);

  Unit& unit_;
};

}  // namespace vexa
