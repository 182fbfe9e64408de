#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "device_state.h"
#include "fault_injector.h"
#include "model_view.h"
#include "presenter.h"

namespace vexa {

// The headless program's operator console: one command per line, carried out through the same
// presenter operations and control models as the window's controls, so a console action and a
// click have the same effect. Every command answers exactly one line: "ok" and what it changed
// (or found), or "error: ..." for a malformed command, which changes nothing. A blank line is
// no command and answers nothing. GUI thread only.
class OperatorConsole {
 public:
  struct Context {
    DeviceState& state;
    Presenter& presenter;
    ModelView& view;
    FaultInjector& faults;
    std::function<bool()> endpointActive;
    std::function<uint64_t()> datagramsHandled;
    // Ends the run: saves the state first unless `force`; returns the answer line (with its
    // "\n"). A failed save answers "error: ..." and the run goes on.
    std::function<std::string(bool force)> quit;
    std::function<uint64_t()> delayedRepliesDropped;  // the delay queue was full
    std::function<uint64_t()> linesUnanswered;        // beyond the per-datagram reply limit
  };
  explicit OperatorConsole(Context context);

  // Carries out one line; returns the answer line ending in "\n", or nothing for a blank line.
  std::string execute(std::string_view line);

  static std::string helpText();

 private:
  std::string status(bool json) const;
  std::string input(const std::string& which, const std::string& how);
  std::string level(const std::string& which, const std::string& value);
  std::string fault(const std::vector<std::string>& words);
  std::string faultText() const;

  Context c_;
};

}  // namespace vexa
