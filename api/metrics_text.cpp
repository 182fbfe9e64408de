#include "metrics_text.h"

#include <array>

namespace vexa::api {

namespace {

// Unit ids hold only letters, digits, '-', '_' and '.', so a label needs no escaping.
class Writer {
 public:
  void family(const char* name, const char* type, const char* help) {
    out_ += "# HELP ";
    out_ += name;
    out_ += ' ';
    out_ += help;
    out_ += "\n# TYPE ";
    out_ += name;
    out_ += ' ';
    out_ += type;
    out_ += '\n';
  }
  void sample(const char* name, const std::string& labels, uint64_t value) {
    out_ += name;
    if (!labels.empty()) out_ += "{" + labels + "}";
    out_ += ' ';
    out_ += std::to_string(value);
    out_ += '\n';
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

std::string unitLabel(const UnitSnapshot& u) {
  return "unit=\"" + u.id + "\"";
}

// A per-unit counter and its total over all units: two families, so that `sum()` of the
// per-unit one is the total and nothing is counted twice.
struct Counter {
  const char* name;       // per unit, labelled `unit`
  const char* fleetName;  // the total, without `unit`
  const char* help;
  uint64_t (*of)(const UnitSnapshot&);
};

constexpr Counter kCounters[] = {
    {"vexa_datagrams_total", "vexa_fleet_datagrams_total", "Datagrams received and handled",
     [](const UnitSnapshot& u) { return u.counters.datagrams; }},
    {"vexa_replies_total", "vexa_fleet_replies_total", "Replies sent",
     [](const UnitSnapshot& u) { return u.counters.replies; }},
    {"vexa_received_bytes_total", "vexa_fleet_received_bytes_total",
     "Bytes of the datagrams received",
     [](const UnitSnapshot& u) { return u.counters.bytesReceived; }},
    {"vexa_sent_bytes_total", "vexa_fleet_sent_bytes_total", "Bytes of the replies sent",
     [](const UnitSnapshot& u) { return u.counters.bytesSent; }},
    {"vexa_delay_overflow_total", "vexa_fleet_delay_overflow_total",
     "Delayed replies dropped on a full queue",
     [](const UnitSnapshot& u) { return u.counters.delayOverflow; }},
    {"vexa_lines_unanswered_total", "vexa_fleet_lines_unanswered_total",
     "Lines past the per-datagram reply limit",
     [](const UnitSnapshot& u) { return u.counters.linesUnanswered; }},
};

constexpr std::array<const char*, 3> kFaultKinds = {"drop", "delay", "corrupt"};
std::array<uint64_t, 3> faultsOf(const UnitSnapshot& u) {
  return {u.counters.dropped, u.counters.delayed, u.counters.corrupted};
}

void unitCounters(Writer& w, const std::vector<UnitSnapshot>& units) {
  for (const Counter& c : kCounters) {
    w.family(c.name, "counter", (std::string(c.help) + ", per unit.").c_str());
    for (const UnitSnapshot& u : units) w.sample(c.name, unitLabel(u), c.of(u));
  }
  w.family("vexa_lines_total", "counter", "Request lines handled, per unit and command.");
  for (const UnitSnapshot& u : units) {
    for (int i = 0; i < vexa::UnitCounters::kCommandCount; ++i) {
      const auto command = static_cast<vexa::UnitCounters::Command>(i);
      w.sample("vexa_lines_total",
               unitLabel(u) + ",command=\"" +
                   std::string(vexa::UnitCounters::commandName(command)) + '"',
               u.counters.lines[static_cast<size_t>(i)]);
    }
  }
  w.family("vexa_faults_total", "counter", "Faults applied, per unit and kind.");
  for (const UnitSnapshot& u : units) {
    const auto faults = faultsOf(u);
    for (size_t k = 0; k < kFaultKinds.size(); ++k) {
      w.sample("vexa_faults_total", unitLabel(u) + ",kind=\"" + kFaultKinds[k] + '"', faults[k]);
    }
  }
  w.family("vexa_endpoint_up", "gauge", "1 while the unit's UDP endpoint is on.");
  for (const UnitSnapshot& u : units) w.sample("vexa_endpoint_up", unitLabel(u), u.endpointOn);
}

void fleetTotals(Writer& w, const std::vector<UnitSnapshot>& units) {
  for (const Counter& c : kCounters) {
    uint64_t total = 0;
    for (const UnitSnapshot& u : units) total += c.of(u);
    w.family(c.fleetName, "counter", (std::string(c.help) + ", all units.").c_str());
    w.sample(c.fleetName, "", total);
  }
  std::array<uint64_t, vexa::UnitCounters::kCommandCount> lines{};
  std::array<uint64_t, 3> faults{};
  uint64_t up = 0;
  for (const UnitSnapshot& u : units) {
    for (size_t i = 0; i < lines.size(); ++i) lines[i] += u.counters.lines[i];
    const auto f = faultsOf(u);
    for (size_t k = 0; k < faults.size(); ++k) faults[k] += f[k];
    up += u.endpointOn ? 1 : 0;
  }
  w.family("vexa_fleet_lines_total", "counter", "Request lines handled, all units, by command.");
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto command = static_cast<vexa::UnitCounters::Command>(i);
    w.sample("vexa_fleet_lines_total",
             "command=\"" + std::string(vexa::UnitCounters::commandName(command)) + '"', lines[i]);
  }
  w.family("vexa_fleet_faults_total", "counter", "Faults applied, all units, by kind.");
  for (size_t k = 0; k < faults.size(); ++k) {
    w.sample("vexa_fleet_faults_total", std::string("kind=\"") + kFaultKinds[k] + '"', faults[k]);
  }
  w.family("vexa_fleet_endpoints_up", "gauge", "Units whose UDP endpoint is on.");
  w.sample("vexa_fleet_endpoints_up", "", up);
  w.family("vexa_units", "gauge", "Simulated units.");
  w.sample("vexa_units", "", units.size());
}

}  // namespace

std::string metricsText(const std::vector<UnitSnapshot>& units, const EventStats& events,
                        const ProcessStats& process) {
  Writer w;
  unitCounters(w, units);
  fleetTotals(w, units);

  w.family("vexa_events_published_total", "counter", "Events published to the streams.");
  w.sample("vexa_events_published_total", "", events.published);
  w.family("vexa_events_lost_total", "counter", "Events lost by slow stream readers.");
  w.sample("vexa_events_lost_total", "", events.lost);
  w.family("vexa_event_readers", "gauge", "Event streams open.");
  w.sample("vexa_event_readers", "", events.readers);

  // What /proc does not tell is left out rather than reported as a number.
  if (process.residentBytes >= 0) {
    w.family("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
    w.sample("process_resident_memory_bytes", "", static_cast<uint64_t>(process.residentBytes));
  }
  if (process.openDescriptors >= 0) {
    w.family("process_open_fds", "gauge", "Number of open file descriptors.");
    w.sample("process_open_fds", "", static_cast<uint64_t>(process.openDescriptors));
  }
  return w.take();
}

}  // namespace vexa::api
