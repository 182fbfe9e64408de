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

namespace vexa {

namespace {

// The console reads standard input when it is a terminal or a pipe.
bool consoleInput() {
  struct stat st {};
  return ::isatty(0) || (::fstat(0, &st) == 0 && S_ISFIFO(st.st_mode));
}

// The longest console line; a longer one is refused whole.
constexpr size_t kMaxConsoleLine = 4096;

// Standard input, cut into console lines, on the loop.
class ConsoleReader {
 public:
  ConsoleReader(EventLoop& loop, FleetConsole& console) : loop_(loop), console_(console) {}
  void start() {
    loop_.add(0, [this] { readable(); });
  }

 private:
  void readable() {
    char buffer[4096];
    const ssize_t n = ::read(0, buffer, sizeof buffer);
    if (n <= 0) {
      loop_.remove(0);  // end of input: the simulator runs on
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buffer[i];
      if (c != '\n') {
        if (pending_.size() < kMaxConsoleLine) {
          pending_ += c;
        } else {
          overlong_ = true;
        }
        continue;
      }
      std::cout << (overlong_ ? std::string("error: line too long\n") : console_.execute(pending_))
                << std::flush;
      pending_.clear();
      overlong_ = false;
    }
  }

  EventLoop& loop_;
  FleetConsole& console_;
  std::string pending_;
  bool overlong_ = false;
};

void printError(const std::string& text) {
  std::string line = text;
  for (char& c : line) c = c == '\r' ? ' ' : c;
  std::cerr << line << std::endl;
}

}  // namespace

std::optional<std::string> planFromOptions(const CommandLine& options,
                                           const std::vector<std::string>& arguments,
                                           FleetPlan& plan) {
  plan = FleetPlan{};
  plan.faultSeed = options.seedGiven ? options.seed : SeededRandom::seedFromTimeOfDay();
  // What every unit gets unless the fleet file says otherwise.
  UnitPlan base;
  base.address = options.bindAddress;
  base.port = options.port.value_or(5010);
  base.variant = options.variant;
  base.faults = options.faults;
  base.log = HasSwitch('L', arguments);
  if (options.fleetFile) return readFleetFile(*options.fleetFile, base, plan);
  if (options.units) {
    if (auto e = planPortRange(plan, *options.units, options.portBase.value_or(5010),
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
  }
  return std::nullopt;
}

int runHeadless(const StartupSettings& settings, FleetPlan plan) {
  placeUnits(plan, settings.paths.AppDir);
  // Sockets, the console, the signals and the loop's own descriptors.
  if (const Status s = ensureDescriptorLimit(plan.units.size() + 64); !s.ok()) {
    std::cerr << "vexa-sim: " << s.text() << std::endl;
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
  if (const Status s = fleet.open(); !s.ok()) {
    // A headless simulator without its endpoint serves no one.
    printError(fleet.single() ? s.text() : "vexa-sim: " + s.text());
    return 1;
  }
  // Every unit's endpoint is bound from here on.
  if (!fleet.single()) {
    std::cerr << "vexa-sim: " << fleet.size() << " units, " << fleet.plan(0).address << ":"
              << fleet.plan(0).port << " to " << fleet.plan(fleet.size() - 1).address << ":"
              << fleet.plan(fleet.size() - 1).port << std::endl;
  }

  loop.add(signalFd, [&] {
    signalfd_siginfo info{};
    while (::read(signalFd, &info, sizeof info) == sizeof info) {
    }
    loop.stop();
  });
  FleetConsole console(fleet, [&loop] { loop.stop(); });
  ConsoleReader reader(loop, console);
  if (consoleInput()) reader.start();

  loop.run();

  // The orderly close: every unit saved, each failure named.
  int exitCode = 0;
  for (const Fleet::SaveFailure& f : fleet.saveAll()) {
    printError(fleet.single() ? f.text
                              : "vexa-sim: unit " + std::to_string(f.number) + ": " + f.text);
    exitCode = 2;
  }
  fleet.close();
  ::close(signalFd);
  return exitCode;
}

}  // namespace vexa
