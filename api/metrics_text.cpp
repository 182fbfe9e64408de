#include "metrics_text.h"

#include <functional>

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
  void sample(const char* name, const std::string& labels, int64_t value) {
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

struct Counter {
  const char* name;
  const char* help;
  std::function<uint64_t(const UnitSnapshot&)> of;
};

}  // namespace

std::string metricsText(const std::vector<UnitSnapshot>& units, const EventStats& events,
                        const ProcessStats& process) {
  Writer w;
  const Counter counters[] = {
      {"vexa_datagrams_total", "Datagrams received and handled.",
       [](const UnitSnapshot& u) { return u.counters.datagrams; }},
      {"vexa_replies_total", "Replies sent.",
       [](const UnitSnapshot& u) { return u.counters.replies; }},
      {"vexa_received_bytes_total", "Bytes of the datagrams received.",
       [](const UnitSnapshot& u) { return u.counters.bytesReceived; }},
      {"vexa_sent_bytes_total", "Bytes of the replies sent.",
       [](const UnitSnapshot& u) { return u.counters.bytesSent; }},
      {"vexa_delay_overflow_total", "Delayed replies dropped on a full queue.",
       [](const UnitSnapshot& u) { return u.counters.delayOverflow; }},
      {"vexa_lines_unanswered_total", "Lines past the per-datagram reply limit.",
       [](const UnitSnapshot& u) { return u.counters.linesUnanswered; }},
  };
  for (const Counter& c : counters) {
    w.family(c.name, "counter", c.help);
    uint64_t total = 0;
    for (const UnitSnapshot& u : units) {
      w.sample(c.name, "unit=\"" + u.id + "\"", static_cast<int64_t>(c.of(u)));
      total += c.of(u);
    }
    w.sample(c.name, "", static_cast<int64_t>(total));
  }

  w.family("vexa_lines_total", "counter", "Request lines handled, by command.");
  using Command = vexa::UnitCounters::Command;
  const auto commandLabel = [](int i) {
    return std::string("command=\"") +
           std::string(vexa::UnitCounters::commandName(static_cast<Command>(i))) + '"';
  };
  std::array<uint64_t, vexa::UnitCounters::kCommandCount> lineTotals{};
  for (const UnitSnapshot& u : units) {
    for (int i = 0; i < vexa::UnitCounters::kCommandCount; ++i) {
      w.sample("vexa_lines_total", "unit=\"" + u.id + "\"," + commandLabel(i),
               static_cast<int64_t>(u.counters.lines[i]));
      lineTotals[i] += u.counters.lines[i];
    }
  }
  for (int i = 0; i < vexa::UnitCounters::kCommandCount; ++i) {
    w.sample("vexa_lines_total", commandLabel(i), static_cast<int64_t>(lineTotals[i]));
  }

  w.family("vexa_faults_total", "counter", "Faults applied, by kind.");
  uint64_t faultTotals[3] = {};
  for (const UnitSnapshot& u : units) {
    const uint64_t values[3] = {u.counters.dropped, u.counters.delayed, u.counters.corrupted};
    const char* kinds[3] = {"drop", "delay", "corrupt"};
    for (int k = 0; k < 3; ++k) {
      w.sample("vexa_faults_total", "unit=\"" + u.id + "\",kind=\"" + kinds[k] + "\"",
               static_cast<int64_t>(values[k]));
      faultTotals[k] += values[k];
    }
  }
  w.sample("vexa_faults_total", "kind=\"drop\"", static_cast<int64_t>(faultTotals[0]));
  w.sample("vexa_faults_total", "kind=\"delay\"", static_cast<int64_t>(faultTotals[1]));
  w.sample("vexa_faults_total", "kind=\"corrupt\"", static_cast<int64_t>(faultTotals[2]));

  w.family("vexa_endpoint_up", "gauge", "1 while the unit's UDP endpoint is on.");
  int64_t up = 0;
  for (const UnitSnapshot& u : units) {
    w.sample("vexa_endpoint_up", "unit=\"" + u.id + "\"", u.endpointOn ? 1 : 0);
    up += u.endpointOn ? 1 : 0;
  }
  w.sample("vexa_endpoint_up", "", up);
  w.family("vexa_units", "gauge", "Simulated units.");
  w.sample("vexa_units", "", static_cast<int64_t>(units.size()));

  w.family("vexa_events_published_total", "counter", "Events published to the streams.");
  w.sample("vexa_events_published_total", "", static_cast<int64_t>(events.published));
  w.family("vexa_events_lost_total", "counter", "Events lost by slow stream readers.");
  w.sample("vexa_events_lost_total", "", static_cast<int64_t>(events.lost));
  w.family("vexa_event_readers", "gauge", "Event streams open.");
  w.sample("vexa_event_readers", "", static_cast<int64_t>(events.readers));

  w.family("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
  w.sample("process_resident_memory_bytes", "", process.residentBytes);
  w.family("process_open_fds", "gauge", "Number of open file descriptors.");
  w.sample("process_open_fds", "", process.openDescriptors);
  return w.take();
}

}  // namespace vexa::api
