// vexa-probe: talks to a Vexa unit (or the simulator) over UDP and prints the decoded replies.
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "field_reader.h"
#include "log_replay.h"
#include "probe_rules.h"
#include "reply_fields.h"
#include "text_format.h"
#include "udp_client.h"

namespace {

using namespace vexa;

constexpr int kExitUsage = 2, kExitTimeout = 3, kExitUndecodable = 4, kExitMismatch = 1;

struct ProbeOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 5010;
  int variant = 0;  // 0: recognise it from the reply
  int timeoutMs = 2000;
  bool raw = false, json = false;
  bool health = false;
  int watchSeconds = 0;
  std::string replayFile;
  std::vector<std::string> commands;
};

const char* const kUsage =
    "Usage: vexa-probe [--host H] [--port N] [--variant 110|130|150|auto] [--timeout MS]\n"
    "                  [--raw] [--json] COMMAND...\n"
    "       vexa-probe --watch SECONDS [--json] [COMMAND]\n"
    "       vexa-probe --replay LOGFILE [--host H] [--port N]\n"
    "       vexa-probe --health [--host H] [--port N] [--timeout MS]\n"
    "       vexa-probe --help | --version\n"
    "Sends each COMMAND as one line and prints the reply body. Options take their value as\n"
    "--name VALUE or --name=VALUE. --health prints nothing and exits 0 when the unit answers a\n"
    "read of its parameters. Exit 2: bad usage or unreadable log; 3: no reply in time;\n"
    "4: a reply that does not decode; 1: a replay that differs.\n";

bool parseNumber(const std::string& s, long min, long max, long& out) {
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && out >= min &&
         out <= max;
}

std::optional<ProbeOptions> parse(int argc, char** argv, std::string& error) {
  ProbeOptions o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    std::optional<std::string> inlineValue;
    if (const size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = a.substr(eq + 1);
      a.resize(eq);
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 < argc) return std::string(argv[++i]);
      return std::nullopt;
    };
    const bool isFlag =
        a == "--raw" || a == "--json" || a == "--health" || a == "--help" || a == "--version";
    if (isFlag && inlineValue) return error = a + " takes no value", std::nullopt;
    long n = 0;
    if (a == "--host") {
      auto v = value();
      if (!v) return error = "--host needs a host", std::nullopt;
      o.host = *v;
    } else if (a == "--port") {
      auto v = value();
      if (!v || !parseNumber(*v, 1, 65535, n)) return error = "--port needs 1..65535", std::nullopt;
      o.port = static_cast<uint16_t>(n);
    } else if (a == "--variant") {
      auto v = value();
      if (!v) return error = "--variant needs 110, 130, 150 or auto", std::nullopt;
      const auto code = variantFromCaption(*v);
      if (!code && *v != "auto")
        return error = "--variant needs 110, 130, 150 or auto", std::nullopt;
      o.variant = code.value_or(0);
    } else if (a == "--timeout") {
      auto v = value();
      if (!v || !parseNumber(*v, 1, 600000, n))
        return error = "--timeout needs milliseconds", std::nullopt;
      o.timeoutMs = static_cast<int>(n);
    } else if (a == "--watch") {
      auto v = value();
      if (!v || !parseNumber(*v, 1, 86400, n)) return error = "--watch needs seconds", std::nullopt;
      o.watchSeconds = static_cast<int>(n);
    } else if (a == "--replay") {
      auto v = value();
      if (!v) return error = "--replay needs a log file", std::nullopt;
      o.replayFile = *v;
    } else if (a == "--health") {
      o.health = true;
    } else if (a == "--raw") {
      o.raw = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--help") {
      std::cout << kUsage;
      std::exit(0);
    } else if (a == "--version") {
      std::cout << "vexa-probe " VEXA_VERSION "\n";
      std::exit(0);
    } else if (a.rfind("--", 0) == 0) {
      return error = "unknown option " + a, std::nullopt;
    } else {
      o.commands.push_back(a);
    }
  }
  if (o.health && (!o.replayFile.empty() || o.watchSeconds > 0 || !o.commands.empty())) {
    return error = "--health takes no command, --watch or --replay", std::nullopt;
  }
  if (!o.health && o.replayFile.empty() && o.watchSeconds == 0 && o.commands.empty()) {
    return error = "no command given", std::nullopt;
  }
  return o;
}

std::string withoutTerminator(std::string body) {
  if (body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") == 0)
    body.resize(body.size() - 2);
  return body;
}

// Sends one line and waits for its reply; sets `exitCode` on a failure. Replies already waiting
// (late duplicates of earlier ones) are dropped first; a datagram from anywhere but the target
// is ignored, and so is a whole reply to another line.
// Sends `line` and waits for its answer from the target: replies from elsewhere and stale ones
// (answers to an earlier line) are skipped. Says nothing; the exit code tells what failed.
struct Exchange {
  std::optional<DecodedReply> decoded;
  std::string framed;  // the answer's bytes, or the undecodable reply's
  int exitCode = 0;
};
Exchange ask(UdpClient& client, const ProbeOptions& o, const std::string& line) {
  client.discardPending();
  client.send(line + "\n");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(o.timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    const auto reply = left >= 0 ? client.receiveFromTarget(static_cast<int>(left)) : std::nullopt;
    if (!reply) return {std::nullopt, {}, kExitTimeout};
    DecodedReply decoded;
    switch (judgeReply(*reply, o.variant, line, decoded)) {
      case ReplyVerdict::Answer:
        return {std::move(decoded), *reply, 0};
      case ReplyVerdict::NotTheAnswer:
        continue;
      case ReplyVerdict::Undecodable:
        return {std::nullopt, *reply, kExitUndecodable};
    }
  }
}

// `ask`, saying on stderr what failed.
std::optional<DecodedReply> exchange(UdpClient& client, const ProbeOptions& o,
                                     const std::string& line, std::string& framed, int& exitCode) {
  Exchange e = ask(client, o, line);
  exitCode = e.exitCode;
  if (e.exitCode == kExitTimeout) {
    std::cerr << "vexa-probe: no reply to \"" << line << "\" from " << o.host << ":" << o.port
              << " within " << o.timeoutMs << " ms" << std::endl;
  } else if (e.exitCode == kExitUndecodable) {
    std::cerr << "vexa-probe: the reply to \"" << line
              << "\" does not decode: " << std::string(trimmed(HexDump(e.framed))) << std::endl;
  }
  framed = std::move(e.framed);
  return std::move(e.decoded);
}

int runCommands(UdpClient& client, const ProbeOptions& o) {
  for (const std::string& command : o.commands) {
    std::string framed;
    int exitCode = 0;
    const auto decoded = exchange(client, o, command, framed, exitCode);
    if (!decoded) return exitCode;
    if (o.json) {
      std::cout << replyJson(*decoded, framed) << "\n";
    } else if (o.raw) {
      std::cout << trimmed(HexDump(framed)) << "\n";
    } else {
      std::cout << withoutTerminator(decoded->body) << "\n";
    }
  }
  return 0;
}

// A health check for a container engine or a service watchdog: one read of the parameters
// (rPr changes nothing in the unit, unlike snd, which issues a new token), no output at all.
int runHealth(UdpClient& client, const ProbeOptions& o) {
  return ask(client, o, "rPr000").exitCode;
}

volatile std::sig_atomic_t stopWatching = 0;

int runWatch(UdpClient& client, const ProbeOptions& o) {
  std::signal(SIGINT, [](int) { stopWatching = 1; });
  std::signal(SIGTERM, [](int) { stopWatching = 1; });
  const std::string command = o.commands.empty() ? "snd000" : o.commands.front();
  std::string last;
  while (!stopWatching) {
    std::string framed;
    int exitCode = 0;
    const auto decoded = exchange(client, o, command, framed, exitCode);
    if (decoded) {
      // Printed when the status changes; the token alone changes with every snd.
      const std::string status = watchedStatus(withoutTerminator(decoded->body));
      if (status != last) {
        if (o.json) {
          std::cout << replyJson(*decoded, framed) << std::endl;
        } else {
          std::string line;
          for (const auto& [name, value] : replyFields(withoutTerminator(decoded->body))) {
            line += (line.empty() ? "" : " ") + name + "=" + value;
          }
          std::cout << (line.empty() ? withoutTerminator(decoded->body) : line) << std::endl;
        }
      }
      last = status;
    }
    for (int tenth = 0; tenth < o.watchSeconds * 10 && !stopWatching; ++tenth) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  return 0;
}

// The token field of an rst line, with the logged token replaced by the one this replay's
// latest snd issued, so a recorded reset is accepted again.
std::string retokened(const std::string& line, uint16_t loggedToken, uint16_t replayToken) {
  if (line.compare(0, 3, "rst") != 0) return line;
  const auto token = static_cast<uint16_t>(static_cast<uint32_t>(ParseField(fieldAt(line, 10, 8))));
  if (token != loggedToken || token == replayToken) return line;
  char field[16];
  std::snprintf(field, sizeof field, " %07u", replayToken);
  std::string out = line.substr(0, 9);
  out.resize(9, ' ');
  return out + field + (line.size() > 17 ? line.substr(17) : "");
}

uint16_t sndToken(const std::string& body) {
  const auto fields = replyFields(withoutTerminator(body));
  for (const auto& [name, value] : fields) {
    if (name == "token") return static_cast<uint16_t>(std::atoi(value.c_str()));
  }
  return 0;
}

int runReplay(UdpClient& client, const ProbeOptions& o) {
  std::string error;
  const auto text = readReplayLog(o.replayFile, error);
  if (!text) {
    std::cerr << "vexa-probe: " << error << std::endl;
    return kExitUsage;
  }
  int differences = 0, compared = 0;
  uint16_t loggedToken = 0, replayToken = 0;
  for (const LoggedExchange& e : parseTrafficLog(*text)) {
    if (e.lines.empty()) continue;  // a datagram that got no reply
    for (size_t i = 0; i < e.lines.size(); ++i) {
      const std::string line = retokened(e.lines[i], loggedToken, replayToken);
      std::string framed;
      int exitCode = 0;
      const auto decoded = exchange(client, o, line, framed, exitCode);
      if (!decoded) return exitCode;
      const std::string replied = withoutTerminator(decoded->body);
      ++compared;
      if (!bodiesMatch(e.bodies[i], replied, decoded->variantCode != kVariant110)) {
        ++differences;
        std::cout << "differs: \"" << line << "\"\n  logged:  " << e.bodies[i]
                  << "\n  replied: " << replied << "\n";
      }
      if (e.lines[i].compare(0, 3, "snd") == 0) {
        loggedToken = sndToken(e.bodies[i]);
        replayToken = sndToken(replied);
      }
    }
  }
  std::cout << compared << " replies compared, " << differences << " differ" << std::endl;
  return differences == 0 ? 0 : kExitMismatch;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = parse(argc, argv, error);
  if (!options) {
    std::cerr << "vexa-probe: " << error << "\n" << kUsage;
    return kExitUsage;
  }
  UdpClient client;
  if (!client.setTarget(options->host, options->port)) {
    std::cerr << "vexa-probe: cannot resolve " << options->host << std::endl;
    return kExitUsage;
  }
  if (options->health) return runHealth(client, *options);
  if (!options->replayFile.empty()) return runReplay(client, *options);
  if (options->watchSeconds > 0) return runWatch(client, *options);
  return runCommands(client, *options);
}
