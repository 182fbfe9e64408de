#include "command_line.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdlib>

#include "api_token.h"
#include "has_switch.h"
#include "reply_framing.h"
#include "scenario.h"

namespace vexa {

namespace {
bool parseUnsigned(const std::string& text, uint64_t max, uint64_t& out) {
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size() && out <= max;
}
// A name a Host header may give: letters, digits, '-' and '.', 1 to 253 characters.
bool validHostName(const std::string& text) {
  if (text.empty() || text.size() > 253) return false;
  for (const char ch : text) {
    const bool ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                    (ch >= '0' && ch <= '9') || ch == '-' || ch == '.';
    if (!ok) return false;
  }
  return true;
}
// A plain decimal number ("60", "0.5"), no sign, exponent or spaces.
bool parseDecimal(const std::string& text, double& out) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}
}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine c;
  auto fail = [](std::string message) {
    // The message quotes an argument: control bytes in it would break the one-line error.
    for (char& ch : message) ch = static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F ? '?' : ch;
    return ParsedCommandLine{std::nullopt, std::move(message)};
  };
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a.rfind("--", 0) != 0) {
      // Not an option: it counts only as a carrier of the switches "/D" and "/L".
      if (!HasSwitch('D', {a}) && !HasSwitch('L', {a})) return fail("unexpected argument " + a);
      c.switchArguments.push_back(a);
      continue;
    }
    std::string name = a;
    std::optional<std::string> inlineValue;
    if (const size_t eq = a.find('='); eq != std::string::npos) {
      name = a.substr(0, eq);
      inlineValue = a.substr(eq + 1);
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 < arguments.size()) return arguments[++i];
      return std::nullopt;
    };
    const bool isFlag = name == "--help" || name == "--version" || name == "--headless" ||
                        name == "--gui" || name == "--metrics-public";
    if (isFlag && inlineValue) return fail(name + " takes no value");
    if (name == "--help") {
      c.help = true;
    } else if (name == "--version") {
      c.version = true;
    } else if (name == "--headless") {
      c.headless = true;
    } else if (name == "--gui") {
      c.gui = true;
    } else if (name == "--port") {
      const auto v = value();
      uint64_t port = 0;
      if (!v || !parseUnsigned(*v, 65535, port) || port == 0)
        return fail("--port needs a port from 1 to 65535");
      c.port = static_cast<uint16_t>(port);
    } else if (name == "--bind") {
      const auto v = value();
      in_addr parsed{};
      if (!v || ::inet_pton(AF_INET, v->c_str(), &parsed) != 1) {
        return fail("--bind needs a local IPv4 address in dotted decimal, not \"" + v.value_or("") +
                    "\"");
      }
      c.bindAddress = *v;
    } else if (name == "--state-dir") {
      const auto v = value();
      if (!v || v->empty()) return fail("--state-dir needs a directory");
      c.stateDir = v->back() == '/' ? *v : *v + "/";
    } else if (name == "--variant") {
      const auto v = value();
      const auto variant = v ? variantFromCaption(*v) : std::nullopt;
      if (!variant) return fail("--variant needs 110, 130 or 150");
      c.variant = *variant;
    } else if (name == "--drop" || name == "--corrupt") {
      const auto v = value();
      double p = 0;
      if (!v || !parseProbability(*v, p)) return fail(name + " needs a probability from 0 to 1");
      (name == "--drop" ? c.faults.dropProbability : c.faults.corruptProbability) = p;
    } else if (name == "--delay") {
      const auto v = value();
      if (!v || !parseDelay(*v, c.faults.delayMs, c.faults.delayJitterMs)) {
        return fail("--delay needs MS or MS:JITTER, in milliseconds");
      }
    } else if (name == "--seed") {
      const auto v = value();
      uint64_t seed = 0;
      if (!v || !parseUnsigned(*v, UINT32_MAX, seed)) return fail("--seed needs a number");
      c.seed = static_cast<uint32_t>(seed);
      c.seedGiven = true;
    } else if (name == "--max-replies-per-datagram") {
      // A datagram of 8192 bytes holds at most 8192 lines.
      const auto v = value();
      uint64_t n = 0;
      if (!v || !parseUnsigned(*v, 8192, n) || n == 0) {
        return fail("--max-replies-per-datagram needs a number from 1 to 8192");
      }
      c.maxRepliesPerDatagram = static_cast<size_t>(n);
    } else if (name == "--scenario") {
      const auto v = value();
      if (!v || v->empty()) return fail("--scenario needs a file");
      c.scenarioFile = *v;
    } else if (name == "--time-factor") {
      const auto v = value();
      double f = 0;
      if (!v || !parseDecimal(*v, f) || !validTimeFactor(f)) {
        return fail("--time-factor needs a number from 0.01 to 1000");
      }
      c.timeFactor = f;
    } else if (name == "--scenario-seed") {
      const auto v = value();
      uint64_t seed = 0;
      if (!v || !parseUnsigned(*v, UINT64_MAX, seed)) return fail("--scenario-seed needs a number");
      c.scenarioSeed = seed;
    } else if (name == "--scenario-stagger") {
      const auto v = value();
      double s = 0;
      if (!v || !parseDecimal(*v, s) || s > 1e6) {
        return fail("--scenario-stagger needs seconds from 0 to 1000000");
      }
      c.scenarioStagger = s;
    } else if (name == "--units" || name == "--port-base" || name == "--bind-range" ||
               name == "--fleet") {
      // The fleet's options.
      const auto v = value();
      uint64_t n = 0;
      if (name == "--units") {
        if (!v || !parseUnsigned(*v, 65535, n) || n == 0) return fail("--units needs 1 to 65535");
        c.units = static_cast<int>(n);
      } else if (name == "--port-base") {
        if (!v || !parseUnsigned(*v, 65535, n) || n == 0)
          return fail("--port-base needs a port from 1 to 65535");
        c.portBase = static_cast<uint16_t>(n);
      } else if (!v || v->empty()) {
        return fail(name + (name == "--fleet" ? " needs a file" : " needs A-B"));
      } else {
        (name == "--fleet" ? c.fleetFile : c.bindRange) = *v;
      }
    } else if (name == "--api") {
      const auto v = value();
      c.api = v ? api::parseApiAddress(*v) : std::nullopt;
      if (!c.api) return fail("--api needs PORT or ADDR:PORT (an IPv4 address)");
    } else if (name == "--api-token") {
      const auto v = value();
      if (!v || v->empty()) return fail("--api-token needs a token");
      // The message never quotes the token.
      if (const auto problem = apiTokenProblem(*v)) {
        return fail("--api-token: " + *problem + "; " + apiTokenRule());
      }
      c.apiToken = *v;
    } else if (name == "--api-token-file") {
      const auto v = value();
      if (!v || v->empty()) return fail("--api-token-file needs a file");
      c.apiTokenFile = *v;
    } else if (name == "--metrics-public") {
      c.metricsPublic = true;
    } else if (name == "--api-allow-host") {
      const auto v = value();
      if (!v || !validHostName(*v)) {
        return fail(
            "--api-allow-host needs a host name or IPv4 address: letters, digits, '-' "
            "and '.', at most 253 characters, not \"" +
            v.value_or("").substr(0, 64) + "\"");
      }
      if (c.apiAllowedHosts.size() == kMaxApiAllowedHosts) {
        return fail("--api-allow-host may be given at most " + std::to_string(kMaxApiAllowedHosts) +
                    " times");
      }
      std::string host = *v;
      for (char& ch : host) ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
      c.apiAllowedHosts.push_back(std::move(host));
    } else if (name == "--api-max-connections") {
      const auto v = value();
      uint64_t n = 0;
      if (!v || !parseUnsigned(*v, kMaxApiConnections, n) || n == 0) {
        return fail("--api-max-connections needs a number from 1 to " +
                    std::to_string(kMaxApiConnections));
      }
      c.apiMaxConnections = static_cast<unsigned>(n);
    } else {
      return fail("unknown option " + name);
    }
  }
  if (c.headless && c.gui) return fail("--headless and --gui exclude each other");
  if ((c.units != std::nullopt) + (c.bindRange != std::nullopt) + (c.fleetFile != std::nullopt) > 1)
    return fail("--units, --bind-range and --fleet exclude one another");
  if (c.portBase && !c.units) return fail("--port-base goes with --units");
  if (c.port && c.units) return fail("--units takes its ports from --port-base, not --port");
  if (c.fleet() && c.gui) return fail("a fleet runs without a window: --gui does not apply");
  if (c.fleet()) c.headless = true;
  if (!c.apiToken.empty() && !c.apiTokenFile.empty()) {
    return fail("--api-token and --api-token-file exclude each other");
  }
  if (!c.api) {
    for (const auto& [given, option] :
         {std::pair{!c.apiToken.empty(), "--api-token"},
          std::pair{!c.apiTokenFile.empty(), "--api-token-file"},
          std::pair{c.metricsPublic, "--metrics-public"},
          std::pair{!c.apiAllowedHosts.empty(), "--api-allow-host"},
          std::pair{c.apiMaxConnections.has_value(), "--api-max-connections"}}) {
      if (given) return fail(std::string(option) + " needs --api");
    }
  }
  return ParsedCommandLine{c, {}};
}

std::string usageText() {
  return "Usage: vexa-sim [/D] [/L] [OPTIONS]\n"
         "Simulates a Vexa field unit on UDP port 5010.\n"
         "\n"
         "  /D                 detail mode: large window, a second instance allowed\n"
         "  /L                 write the traffic log\n"
         "  --headless         no window; read operator commands from standard input\n"
         "  --gui              insist on the window\n"
         "  --port N           UDP port (default 5010)\n"
         "  --bind ADDR        local IPv4 address (default 0.0.0.0)\n"
         "  --state-dir DIR    where VXS1.dat, VXS2.dat, VX.ini and Log/ are\n"
         "  --variant V        protocol variant at start-up: 110, 130 or 150 (default)\n"
         "  --drop P           drop each request with probability P (0..1)\n"
         "  --delay MS[:J]     delay each reply by MS plus up to J milliseconds\n"
         "  --corrupt P        flip one byte of a reply with probability P\n"
         "  --seed N           seed of the fault injection's random source\n"
         "  --max-replies-per-datagram N\n"
         "                     answer at most N lines of a datagram (default: all)\n"
         "  --units N          a fleet: units 1..N on ports P..P+N-1 (headless)\n"
         "  --port-base P      the first unit's port (default 5010)\n"
         "  --bind-range A-B   a fleet: one unit per IPv4 address A..B, all on --port\n"
         "  --fleet FILE       a fleet described in a JSON file (docs/fleet.md)\n"
         "  --scenario FILE    run a scenario (docs/scenarios/) on the unit, or every unit\n"
         "  --time-factor F    scenario seconds per real second, 0.01..1000 (default: the file's)\n"
         "  --scenario-seed N  the scenarios' seed (default: the file's)\n"
         "  --scenario-stagger S\n"
         "                     a fleet: unit N starts its scenario at (N-1) x S seconds\n"
         "  --api [ADDR:]PORT  HTTP/JSON interface and dashboard (default 127.0.0.1)\n"
         "  --api-token-file FILE\n"
         "                     the bearer token the interface asks for, read from FILE (16 to\n"
         "                     256 printable characters); needed off 127.x.x.x. Or give it in\n"
         "                     VEXA_API_TOKEN or the service credential api-token\n"
         "  --api-token TOKEN  the same on the command line, where other users can read it\n"
         "  --api-allow-host NAME\n"
         "                     a Host name requests may give besides the address (repeatable)\n"
         "  --api-max-connections N\n"
         "                     HTTP connections open at once, 1..65536 (default 1024)\n"
         "  --metrics-public   /metrics answers without the token\n"
         "  --help, --version\n"
         "Options take their value as --name VALUE or --name=VALUE.\n";
}

std::string versionText() {
  return "vexa-sim " VEXA_VERSION "\n";
}

}  // namespace vexa
