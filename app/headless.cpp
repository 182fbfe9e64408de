#include "headless.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>

#include "descriptor_limit.h"
#include "fleet.h"
#include "fleet_console.h"
#include "fleet_file.h"
#include "has_switch.h"
#include "line_reader.h"
#include "scenario_plan.h"
#include "service_notify.h"
#include "text_format.h"
#include "udp_endpoint.h"

namespace vexa {

namespace {

// Where the console's commands come from: a terminal or a pipe is watched for input; a regular
// file is read through to its end, one chunk per turn of the event loop; anything else (such as
// /dev/null) gives no console.
enum class ConsoleSource { None, Watched, File };

ConsoleSource consoleSource() {
  struct stat st {};
  if (::isatty(0)) return ConsoleSource::Watched;
  if (::fstat(0, &st) != 0) return ConsoleSource::None;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return ConsoleSource::Watched;
  if (S_ISREG(st.st_mode)) return ConsoleSource::File;
  return ConsoleSource::None;
}

// Standard input, cut into bounded console lines, on the loop. Commands stop once the run is
// ending.
class ConsoleReader {
 public:
  ConsoleReader(EventLoop& loop, FleetConsole& console, const bool& ended)
      : loop_(loop), console_(console), ended_(ended) {}

  void start(ConsoleSource source) {
    if (source == ConsoleSource::Watched) {
      loop_.addPriority(0, [this] {
        if (!readChunk()) loop_.remove(0);  // end of input: the simulator runs on
      });
    } else if (source == ConsoleSource::File) {
      readFileChunk();
    }
  }

 private:
  // A regular file is always readable (epoll refuses it): one chunk a turn of the loop.
  void readFileChunk() {
    if (readChunk()) loop_.post([this] { readFileChunk(); });
  }

  // Reads one chunk and runs the lines it completes; false at the end of input.
  bool readChunk() {
    char buffer[4096];
    const ssize_t n = ::read(0, buffer, sizeof buffer);
    if (n <= 0) {
      run(lines_.finish());  // the last line of a file may lack its line feed
      return false;
    }
    run(lines_.feed({buffer, static_cast<size_t>(n)}));
    return true;
  }

  void run(const std::vector<LineReader::Line>& complete) {
    for (const LineReader::Line& line : complete) {
      if (ended_) return;
      std::cout << (line.tooLong ? std::string("error: line too long\n")
                                 : console_.execute(line.text))
                << std::flush;
    }
  }

  EventLoop& loop_;
  FleetConsole& console_;
  const bool& ended_;
  LineReader lines_;  // bounded: an over-long line is dropped with one error
};

void printError(const std::string& text) {
  std::cerr << oneLine(text) << std::endl;
}

}  // namespace

std::optional<std::string> planFromOptions(const CommandLine& options, FleetPlan& plan) {
  plan = FleetPlan{};
  plan.faultSeed = options.seedGiven ? options.seed : SeededRandom::seedFromTimeOfDay();
  // What every unit gets unless the fleet file says otherwise.
  UnitPlan base;
  base.address = options.bindAddress;
  base.port = options.port.value_or(UdpEndpoint::kDefaultPort);
  base.variant = options.variant;
  base.faults = options.faults;
  base.log = HasSwitch('L', options.switchArguments);
  base.maxRepliesPerDatagram = options.maxRepliesPerDatagram;
  if (options.fleetFile) {
    if (auto e = readFleetFile(*options.fleetFile, base, plan)) return e;
    return planScenarios(options, plan);
  }
  if (options.units) {
    if (auto e = planPortRange(plan, *options.units,
                               options.portBase.value_or(UdpEndpoint::kDefaultPort),
                               options.bindAddress)) {
      return e;
    }
  } else if (options.bindRange) {
    if (auto e = planAddressRange(plan, *options.bindRange, base.port)) return e;
  } else {
    plan.units.push_back(base);
  }
  for (UnitPlan& u : plan.units) {
    u.variant = base.variant;
    u.faults = base.faults;
    u.log = base.log;
    u.maxRepliesPerDatagram = base.maxRepliesPerDatagram;
  }
  return planScenarios(options, plan);
}

int runHeadless(const StartupSettings& settings, FleetPlan plan, ApiOptions apiOptions) {
  placeUnits(plan, settings.paths.AppDir);
  // Sockets, the console, the signals, the loop's and a save's descriptors; the HTTP
  // interface's listener and every connection it may hold when asked for.
  if (const Status s = ensureDescriptorLimit(descriptorsNeeded(plan.units.size(), apiOptions));
      !s.ok()) {
    std::cerr << "vexa-sim: " << s.text()
              << (apiOptions.address ? ", or lower --api-max-connections" : "") << std::endl;
    return 1;
  }
  // The close signals arrive as a descriptor of the loop, never in the middle of its work.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, s);
  ::sigprocmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);

  EventLoop loop;
  SteadyUnitClock clock;
  Fleet fleet(std::move(plan), loop, clock);
  if (const Status s = fleet.load(); !s.ok()) {
    std::cerr << "vexa-sim: " << s.text() << std::endl;
    return 1;
  }
  // The interface sees the units' first datagrams; its requests wait for the loop.
  bool apiFailed = false;
  const std::unique_ptr<FleetApi> api =
      startFleetApi(fleet, loop, std::move(apiOptions), apiFailed);
  if (apiFailed) return 1;
  if (const Status s = fleet.open(); !s.ok()) {
    // A headless simulator without its endpoint serves no one: a rig must see it at once.
    printError("vexa-sim: " + s.text());
    return 1;
  }
  fleet.startScenarios();
  // Every unit's endpoint is bound from here on.
  const std::string where = fleet.plan(0).address + ":" + std::to_string(fleet.plan(0).port);
  if (fleet.single()) {
    notifyReady("answering on " + where);
  } else {
    const std::string last = fleet.plan(fleet.size() - 1).address + ":" +
                             std::to_string(fleet.plan(fleet.size() - 1).port);
    std::cerr << "vexa-sim: " << fleet.size() << " units, " << where << " to " << last << std::endl;
    notifyReady(std::to_string(fleet.size()) + " units answering, " + where + " to " + last);
  }

  // The close: saves every unit and ends the loop. A failed save names the units and the run
  // goes on, answering; the next quit or signal tries again. A forced quit ends without saving.
  int exitCode = 0;
  bool ended = false;  // the loop is ending: no more commands are run
  auto closeRun = [&](bool force) -> std::string {
    if (force) {
      ended = true;
      notifyStopping();
      std::cerr << "vexa-sim: ending without saving the state" << std::endl;
      exitCode = kExitUnsaved;
      loop.stop();
      return "ok quit --force: ended without saving the state\n";
    }
    const std::vector<Fleet::SaveFailure> failures = fleet.saveAll();
    if (!failures.empty()) {
      std::string named;
      for (const Fleet::SaveFailure& f : failures) {
        const std::string text = fleet.single()
                                     ? oneLine(f.text)
                                     : "unit " + std::to_string(f.number) + ": " + oneLine(f.text);
        std::cerr << "vexa-sim: the state was not saved: " << text
                  << "; still running (quit --force ends without saving)" << std::endl;
        named += (named.empty() ? "" : "; ") + text;
      }
      return "error: the state was not saved: " + named +
             "; still running (quit again, or quit --force to end without saving)\n";
    }
    for (size_t i = 0; i < fleet.size(); ++i) {
      if (const std::string kept = fleet.unit(i).keptFilesNotice(); !kept.empty()) {
        std::cerr << "vexa-sim: " << oneLine(kept) << std::endl;
      }
    }
    ended = true;
    notifyStopping();
    loop.stop();
    return "ok quit\n";
  };

  // The signals and the console come before the units' datagrams: a flooded fleet still ends
  // and answers its console at once.
  loop.addPriority(signalFd, [&] {
    signalfd_siginfo info{};
    bool signalled = false;
    while (::read(signalFd, &info, sizeof info) == sizeof info) signalled = true;
    if (signalled && !ended) closeRun(false);
  });
  FleetConsole console(fleet, closeRun);
  ConsoleReader reader(loop, console, ended);
  reader.start(consoleSource());

  loop.run();

  fleet.close();
  ::close(signalFd);
  return exitCode;
}

}  // namespace vexa
