// The HTTP interface's token from each of its sources, in the real headless program.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>

#include "nonregular_files.h"
#include "sim_process.h"

namespace vexa {
namespace {

const std::string kToken = "e2e-token-0123456789";
const std::string kOtherToken = "other-token-0123456789";

// The status of one GET over a connection of its own (0: no answer), with `token` as the
// bearer token when not empty. A wait is bounded only to catch a hang.
int httpStatus(uint16_t port, const std::string& path, const std::string& token = "") {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  timeval hang{30, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &hang, sizeof hang);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                          "\r\nConnection: close\r\n";
    if (!token.empty()) request += "Authorization: Bearer " + token + "\r\n";
    request += "\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(request.size())) {
      char buffer[4096];
      for (ssize_t n; reply.find("\r\n") == std::string::npos &&
                      (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        reply.append(buffer, static_cast<size_t>(n));
      }
    }
  }
  ::close(fd);
  // "HTTP/1.1 200 OK"
  if (reply.rfind("HTTP/1.", 0) != 0 || reply.size() < 12) return 0;
  return std::atoi(reply.substr(9, 3).c_str());
}

std::string commandLineOf(pid_t pid) {
  return testing::readFile("/proc/" + std::to_string(pid) + "/cmdline");
}

// Each source gives the interface its token: a request without it is refused, one with it is
// served; the token itself is never printed, and only the command line warns.
TEST(ApiTokenE2e, EverySourceGuardsTheInterface) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;    // after the port's; "FILE": the token file
    std::vector<std::string> environment;  // "CRED": the credentials directory
    bool warns;
    std::string source;  // as the start names it
  };
  const Case cases[] = {
      // The file wins over the variable.
      {"file",
       {"--api", "0", "--api-token-file", "FILE"},
       {"VEXA_API_TOKEN=" + kOtherToken},
       false,
       "--api-token-file "},
      {"variable",
       {"--api", "0"},
       {"VEXA_API_TOKEN=" + kToken, "CREDENTIALS_DIRECTORY=CRED"},
       false,
       "VEXA_API_TOKEN"},
      {"credential", {"--api=0"}, {"CREDENTIALS_DIRECTORY=CRED"}, false, "the credential "},
      {"command line", {"--api", "0", "--api-token", kToken}, {}, true, "--api-token\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    testing::TempDir credentials;
    const std::string file = dir.file("token");
    testing::writeFile(file, kToken + "\r\n");
    ::chmod(file.c_str(), 0600);
    testing::writeFile(credentials.file("api-token"), kToken);
    ::chmod(credentials.file("api-token").c_str(), 0400);
    // The credential's directory holds the other token where the variable is to win.
    if (std::string(c.name) == "variable") {
      testing::writeFile(credentials.file("api-token"), kOtherToken);
    }
    const uint16_t udpPort = testing::freeUdpPortRun(5460, 5499, 1);
    ASSERT_NE(udpPort, 0);
    std::vector<std::string> arguments = {"--port", std::to_string(udpPort)};
    for (const std::string& a : c.arguments) arguments.push_back(a == "FILE" ? file : a);
    std::vector<std::string> environment;
    for (const std::string& e : c.environment) {
      environment.push_back(
          e == "CREDENTIALS_DIRECTORY=CRED" ? "CREDENTIALS_DIRECTORY=" + credentials.path() : e);
    }
    testing::SimProcess sim{dir, VEXA_SIM_PATH};
    sim.start(arguments, environment);
    ASSERT_TRUE(sim.waitUntilAnswering(udpPort, 30000)) << sim.standardError();
    const auto apiPort = sim.announcedApiPort();
    ASSERT_TRUE(apiPort) << sim.standardError();

    EXPECT_EQ(httpStatus(*apiPort, "/api/v1/units"), 401);
    EXPECT_EQ(httpStatus(*apiPort, "/api/v1/units", kOtherToken), 401);
    EXPECT_EQ(httpStatus(*apiPort, "/api/v1/units", kToken), 200);

    const std::string err = sim.standardError();
    EXPECT_EQ(err.find(kToken), std::string::npos) << err;
    EXPECT_EQ(err.find(kOtherToken), std::string::npos) << err;
    EXPECT_EQ(err.find("--api-token puts the token where other local users can read it") !=
                  std::string::npos,
              c.warns)
        << err;
    EXPECT_NE(err.find("vexa-sim-headless: API token from " + c.source), std::string::npos) << err;
    // Once started, `ps` no longer shows the token.
    EXPECT_EQ(commandLineOf(sim.pid()).find(kToken), std::string::npos);
  }
}

// A start whose token cannot be had ends at once with the usage exit code and a message that
// names the source, never waiting on a FIFO nor printing the token.
TEST(ApiTokenE2e, ABrokenSourceEndsTheStart) {
  testing::TempDir dir;
  testing::makeFifo(dir.file("fifo"));
  testing::writeFile(dir.file("short"), "short-token\n");
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::string> environment;
    std::string message;
  };
  const Case cases[] = {
      {{"--api", "0", "--api-token-file", dir.file("fifo")},
       {},
       "--api-token-file " + dir.file("fifo") + ": not a regular file"},
      {{"--api", "0", "--api-token-file", dir.file("short")},
       {},
       "the API token from --api-token-file " + dir.file("short") + ": it has 11 characters"},
      {{"--api", "0"}, {"VEXA_API_TOKEN=short-token"}, "VEXA_API_TOKEN: it has 11 characters"},
      {{"--api", "0.0.0.0:0"}, {}, "--api on 0.0.0.0 needs a token: --api-token-file FILE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    testing::SimProcess sim{dir, VEXA_SIM_PATH};
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.end(), {"--state-dir", dir.file("state")});
    sim.start(arguments, c.environment);
    EXPECT_EQ(sim.waitForExit(30000), 2);
    const std::string err = sim.standardError();
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(err.find("short-token"), std::string::npos) << err;
  }
}

// The open-file limit a run asks for holds every connection the interface may take: with a
// hard limit too low for the cap, the start ends naming the option that lowers it.
TEST(ApiTokenE2e, TheOpenFileLimitHoldsTheConnectionCap) {
  testing::TempDir dir;
  const testing::SimProcess copy{dir, VEXA_SIM_PATH};  // puts the program into `dir`
  const uint16_t udpPort = testing::freeUdpPortRun(5460, 5499, 1);
  ASSERT_NE(udpPort, 0);
  // `timeout` only ends a program that started after all, so the test fails instead of hanging.
  const auto low = testing::runCommand("ulimit -n 200 && ulimit -Hn 200 && timeout 30 " +
                                       dir.file("vexa-sim") + " --port " + std::to_string(udpPort) +
                                       " --api 0 --api-max-connections 1000 --state-dir " +
                                       dir.file("state") + " < /dev/null");
  EXPECT_EQ(low.exitCode, 1) << low.output;
  EXPECT_NE(low.output.find("open files but the hard limit is 200"), std::string::npos)
      << low.output;
  EXPECT_NE(low.output.find("or lower --api-max-connections"), std::string::npos) << low.output;
}

}  // namespace
}  // namespace vexa
