#include "fleet_console.h"

#include <charconv>
#include <sstream>

#include "reply_framing.h"
#include "unit_console.h"

namespace vexa {

namespace {

std::string unknown(std::string_view line) {
  return UnitConsole::error("unknown or malformed command \"" + std::string(line) +
                            "\" (try help)");
}

std::vector<std::string> tail(const std::vector<std::string>& words, size_t from) {
  return {words.begin() + static_cast<long>(from), words.end()};
}

// Prefixes every line of `text` with "unit N: ".
std::string labelled(int number, const std::string& text) {
  std::string out;
  const std::string label = "unit " + std::to_string(number) + ": ";
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    out += label + text.substr(start, end == std::string::npos ? end : end - start + 1);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

}  // namespace

FleetConsole::FleetConsole(Fleet& fleet, std::function<std::string(bool force)> quit)
    : fleet_(fleet), quit_(std::move(quit)) {}

std::string FleetConsole::helpText() const {
  std::string text = "ok commands: " + UnitConsole::helpText();
  if (!fleet_.single()) {
    text += " (status without a unit: the fleet's totals); units; unit N COMMAND; all COMMAND";
  }
  return text + "; help; quit [--force]\n";
}

std::string FleetConsole::onUnit(Unit& unit, const std::vector<std::string>& words,
                                 std::string_view line) {
  UnitConsole console(unit);
  bool known = false;
  std::string out = console.execute(words, known);
  return known ? out : unknown(line);
}

std::string FleetConsole::execute(std::string_view line) {
  std::string out = run(line);
  fleet_.scheduleScenarios();  // a scenario may have been started or stopped
  return out;
}

std::string FleetConsole::run(std::string_view line) {
  const std::vector<std::string> w = UnitConsole::wordsOf(line);
  if (w.empty()) return {};
  if (w[0] == "help" && w.size() == 1) return helpText();
  if (w[0] == "quit" && (w.size() == 1 || (w.size() == 2 && w[1] == "--force"))) {
    return quit_ ? quit_(w.size() == 2) : UnitConsole::error("quit is not available here");
  }
  if (w[0] == "units" && w.size() == 1) return units();
  if (fleet_.single()) return onUnit(fleet_.unit(0), w, line);
  if (w[0] == "status" && w.size() == 1) return totals(false);
  if (w[0] == "status" && w.size() == 2 && w[1] == "--json") return totals(true);
  if (w[0] == "unit" && w.size() >= 3) {
    int number = 0;
    const auto r = std::from_chars(w[1].data(), w[1].data() + w[1].size(), number);
    Unit* unit =
        r.ec == std::errc() && r.ptr == w[1].data() + w[1].size() ? fleet_.find(number) : nullptr;
    if (!unit) {
      return UnitConsole::error("no unit " + w[1] + " (units 1 to " +
                                std::to_string(fleet_.size()) + ")");
    }
    return onUnit(*unit, tail(w, 2), line);
  }
  if (w[0] == "all" && w.size() >= 2) {
    const std::vector<std::string> command = tail(w, 1);
    std::string out;
    for (size_t i = 0; i < fleet_.size(); ++i) {
      UnitConsole console(fleet_.unit(i));
      bool known = false;
      const std::string one = console.execute(command, known);
      if (!known) return unknown(line);
      out += labelled(fleet_.unit(i).number(), one);
    }
    return out;
  }
  return unknown(line);
}

std::string FleetConsole::units() {
  std::ostringstream out;
  for (size_t i = 0; i < fleet_.size(); ++i) {
    Unit& u = fleet_.unit(i);
    const UnitPlan& p = fleet_.plan(i);
    const int32_t variant = u.state().locked([](const DeviceData& d) { return d.VariantCode; });
    out << u.number() << ' ' << p.address << ':' << p.port
        << " endpoint=" << (u.endpointActive() ? "on" : "off")
        << " variant=" << variantCaption(variant) << " datagrams=" << u.counters().datagrams.load()
        << '\n';
  }
  return out.str();
}

std::string FleetConsole::totals(bool json) {
  uint64_t active = 0, datagrams = 0, replies = 0, bytesIn = 0, bytesOut = 0;
  uint64_t faults[3] = {0, 0, 0};
  for (size_t i = 0; i < fleet_.size(); ++i) {
    Unit& u = fleet_.unit(i);
    active += u.endpointActive() ? 1 : 0;
    datagrams += u.counters().datagrams.load();
    replies += u.counters().replies.load();
    bytesIn += u.counters().bytesIn.load();
    bytesOut += u.counters().bytesOut.load();
    const auto f = u.faultCounts();
    for (int k = 0; k < 3; ++k) faults[k] += f[static_cast<size_t>(k)];
  }
  std::ostringstream out;
  if (json) {
    out << "{\"units\":" << fleet_.size() << ",\"active\":" << active
        << ",\"datagrams\":" << datagrams << ",\"replies\":" << replies
        << ",\"bytes_in\":" << bytesIn << ",\"bytes_out\":" << bytesOut
        << ",\"dropped\":" << faults[0] << ",\"delayed\":" << faults[1]
        << ",\"corrupted\":" << faults[2] << "}\n";
  } else {
    out << "units=" << fleet_.size() << " active=" << active << " datagrams=" << datagrams
        << " replies=" << replies << " bytes_in=" << bytesIn << " bytes_out=" << bytesOut
        << " dropped=" << faults[0] << " delayed=" << faults[1] << " corrupted=" << faults[2]
        << "\n";
  }
  return out.str();
}

}  // namespace vexa
