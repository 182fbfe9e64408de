// Where the HTTP interface's token comes from, and what the start makes of it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "api_token.h"
#include "fleet_api.h"
#include "nonregular_files.h"
#include "program_start.h"
#include "temp_dir.h"

namespace vexa {
namespace {

const std::string kFileToken = "file-token-0123456789";
const std::string kLineToken = "line-token-0123456789";
const std::string kEnvToken = "env-token-0123456789";
const std::string kCredToken = "credential-token-0123456789";

// A token file of `bytes` with permissions `mode`.
std::string tokenFile(const testing::TempDir& dir, const std::string& name,
                      const std::string& bytes, mode_t mode = 0600) {
  const std::string path = dir.file(name);
  testing::writeFile(path, bytes);
  ::chmod(path.c_str(), mode);
  return path;
}

// The first source given wins, and an empty variable counts as none.
TEST(ApiToken, ThePrecedenceOfTheSources) {
  testing::TempDir dir;
  const std::string file = tokenFile(dir, "token", kFileToken + "\n");
  testing::TempDir credentials;
  tokenFile(credentials, "api-token", kCredToken);
  testing::TempDir noCredentials;
  const std::string credDir = credentials.path().substr(0, credentials.path().size() - 1);
  struct Case {
    const char* name;
    ApiTokenSources sources;
    std::string token;
    std::string source;  // its start
  };
  const Case cases[] = {
      {"file over all", {"", file, kEnvToken, credDir}, kFileToken, "--api-token-file "},
      {"command line over all", {kLineToken, "", kEnvToken, credDir}, kLineToken, "--api-token"},
      {"variable over credential", {"", "", kEnvToken, credDir}, kEnvToken, "VEXA_API_TOKEN"},
      {"empty variable is none", {"", "", "", credDir}, kCredToken, "the credential "},
      {"credential alone", {"", "", std::nullopt, credDir}, kCredToken, "the credential "},
      {"directory without the credential", {"", "", std::nullopt, noCredentials.path()}, "", ""},
      {"empty credentials directory name", {"", "", std::nullopt, ""}, "", ""},
      {"nothing", {}, "", ""},
  };
  for (const Case& c : cases) {
    const LoadedApiToken loaded = loadApiToken(c.sources);
    EXPECT_TRUE(loaded.ok()) << c.name << ": " << loaded.error;
    EXPECT_EQ(loaded.token, c.token) << c.name;
    EXPECT_EQ(loaded.source.rfind(c.source, 0), 0u) << c.name << ": " << loaded.source;
    EXPECT_EQ(loaded.source.empty(), c.token.empty()) << c.name;
  }
}

// A source that wins is used as it is: a broken one fails the start rather than letting a
// later source in, and a broken later source is never looked at.
TEST(ApiToken, OnlyTheWinningSourceIsRead) {
  testing::TempDir credentials;
  tokenFile(credentials, "api-token", "short");
  const std::string credDir = credentials.path();
  LoadedApiToken loaded = loadApiToken({"", "", "short", credDir});
  EXPECT_FALSE(loaded.ok());
  EXPECT_NE(loaded.error.find("VEXA_API_TOKEN: it has 5 characters"), std::string::npos)
      << loaded.error;
  loaded = loadApiToken({"", "", kEnvToken, credDir});
  EXPECT_TRUE(loaded.ok()) << loaded.error;
  EXPECT_EQ(loaded.token, kEnvToken);
  loaded = loadApiToken({"", "", std::nullopt, credDir});
  EXPECT_FALSE(loaded.ok());
  EXPECT_NE(loaded.error.find("the credential " + credDir + "/api-token"), std::string::npos)
      << loaded.error;
  EXPECT_TRUE(loaded.token.empty());
}

// What a token file may hold: one line end (LF or CR LF) is dropped, anything else counts.
TEST(ApiToken, TheContentsOfAFile) {
  struct Case {
    std::string bytes;
    std::string token;  // empty: refused
  };
  const std::string longest(256, 'k');
  const Case cases[] = {
      {kFileToken, kFileToken},
      {kFileToken + "\n", kFileToken},
      {kFileToken + "\r\n", kFileToken},
      {kFileToken + "\n\n", ""},  // a second line end is part of it
      {kFileToken + "\r", ""},    // a lone CR is not a line end
      {kFileToken + " \n", ""},   // trailing space
      {"\n" + kFileToken, ""},    // a blank first line
      {"", ""},                   // an empty file
      {"\n", ""},
      {std::string(15, 'k') + "\n", ""},
      {std::string(16, 'k') + "\r\n", std::string(16, 'k')},
      {longest + "\r\n", longest},
      {longest + "k", ""},
      {longest + "k\n", ""},
      {std::string(10000, 'k'), ""},
      {"tok\x01" + std::string(16, 'k'), ""},
  };
  testing::TempDir dir;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::string path = tokenFile(dir, "t" + std::to_string(i), c.bytes);
    const LoadedApiToken loaded = loadApiToken({"", path, std::nullopt, std::nullopt});
    EXPECT_EQ(loaded.token, c.token) << "case " << i;
    EXPECT_EQ(loaded.ok(), !c.token.empty()) << "case " << i;
    if (loaded.ok()) continue;
    // The error names the file and the rule, and never quotes what it holds.
    EXPECT_NE(loaded.error.find("--api-token-file " + path), std::string::npos) << loaded.error;
    EXPECT_NE(loaded.error.find("16 to 256 printable ASCII"), std::string::npos) << loaded.error;
    EXPECT_EQ(loaded.error.find("kkkkkkkk"), std::string::npos) << "case " << i;
    EXPECT_EQ(loaded.error.find("file-token"), std::string::npos) << loaded.error;
  }
}

// A file that is not there or not a regular file is refused with a message, and without
// waiting: nothing writes to the FIFO.
TEST(ApiToken, MissingAndSpecialFiles) {
  testing::TempDir dir;
  EXPECT_EQ(loadApiToken({"", dir.file("none"), std::nullopt, std::nullopt}).error,
            "--api-token-file " + dir.file("none") + ": no such file");
  for (const std::string kind : {"fifo", "directory", "zero", "null", "dangling", "socket"}) {
    const std::string path = dir.file(kind);
    testing::makeSpecial(kind, path);
    LoadedApiToken loaded;
    ASSERT_TRUE(testing::finishesWithin(
        30000,
        [&] {
          loaded = loadApiToken({"", path, kEnvToken, std::nullopt});
        },
        dir.file("fifo")))
        << kind;
    EXPECT_FALSE(loaded.ok()) << kind;
    EXPECT_TRUE(loaded.token.empty()) << kind;
    EXPECT_EQ(loaded.error.rfind("--api-token-file " + path + ": ", 0), 0u) << loaded.error;
    if (kind != "dangling") {
      EXPECT_NE(loaded.error.find("not a regular file"), std::string::npos) << loaded.error;
    }
  }
  // The credential: one that is not there is none, one of the wrong kind is an error.
  testing::TempDir credentials;
  testing::makeSpecial("fifo", credentials.file("api-token"));
  LoadedApiToken loaded;
  ASSERT_TRUE(testing::finishesWithin(
      30000,
      [&] {
        loaded = loadApiToken({"", "", std::nullopt, credentials.path()});
      },
      credentials.file("api-token")));
  EXPECT_NE(loaded.error.find("not a regular file"), std::string::npos) << loaded.error;
}

// A file that others may read works, with a warning that names it (and not the token).
TEST(ApiToken, AFileOthersCanReadWarns) {
  testing::TempDir dir;
  struct Case {
    mode_t mode;
    bool warns;
  };
  for (const Case c : {Case{0600, false}, Case{0400, false}, Case{0640, true}, Case{0604, true},
                       Case{0644, true}, Case{0620, false}}) {
    const std::string path = tokenFile(dir, "t" + std::to_string(c.mode), kFileToken, c.mode);
    const LoadedApiToken loaded = loadApiToken({"", path, std::nullopt, std::nullopt});
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    EXPECT_EQ(loaded.token, kFileToken);
    ASSERT_EQ(loaded.warnings.size(), c.warns ? 1u : 0u) << std::oct << c.mode;
    if (!c.warns) continue;
    EXPECT_NE(loaded.warnings[0].find(path), std::string::npos) << loaded.warnings[0];
    EXPECT_NE(loaded.warnings[0].find("chmod 600"), std::string::npos) << loaded.warnings[0];
    EXPECT_EQ(loaded.warnings[0].find(kFileToken), std::string::npos);
  }
}

// The command line works and warns, naming the safer sources; the other sources do not warn.
TEST(ApiToken, TheCommandLineWarns) {
  LoadedApiToken loaded = loadApiToken({kLineToken, "", std::nullopt, std::nullopt});
  ASSERT_EQ(loaded.warnings.size(), 1u);
  for (const char* named : {"ps", "--api-token-file", "VEXA_API_TOKEN", "LoadCredential"}) {
    EXPECT_NE(loaded.warnings[0].find(named), std::string::npos) << named;
  }
  EXPECT_EQ(loaded.warnings[0].find(kLineToken), std::string::npos);
  EXPECT_TRUE(loadApiToken({"", "", kEnvToken, std::nullopt}).warnings.empty());
}

CommandLine parsed(const std::vector<std::string>& arguments) {
  auto p = parseCommandLine(arguments);
  EXPECT_TRUE(p.options) << p.error;
  return p.options.value_or(CommandLine{});
}

// The start: a token from any source lets the interface off loopback; without --api no source
// is read; the options reach the server's.
TEST(ApiToken, TheStartsOptions) {
  ApiOptions api;
  std::vector<std::string> warnings;
  const CommandLine open = parsed({"--api", "0.0.0.0:8080"});
  auto error = apiOptionsFor(open, {}, api, warnings);
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("--api on 0.0.0.0 needs a token"), std::string::npos) << *error;
  EXPECT_NE(error->find("--api-token-file"), std::string::npos) << *error;
  EXPECT_FALSE(api.address);
  for (const ApiTokenSources& sources :
       {ApiTokenSources{kLineToken, "", {}, {}}, ApiTokenSources{"", "", kEnvToken, {}}}) {
    error = apiOptionsFor(open, sources, api, warnings);
    EXPECT_FALSE(error) << *error;
    ASSERT_TRUE(api.address);
    EXPECT_EQ(api.address->port, 8080);
    EXPECT_FALSE(api.token.empty());
  }
  EXPECT_FALSE(apiOptionsFor(parsed({"--api", "127.3.0.1:80"}), {}, api, warnings));
  EXPECT_TRUE(api.token.empty());

  // Without the interface a broken variable is not even looked at.
  EXPECT_FALSE(apiOptionsFor(parsed({}), {"", "", "short", {}}, api, warnings));
  EXPECT_FALSE(api.address);
  error = apiOptionsFor(parsed({"--api", "0"}), {"", "", "short", {}}, api, warnings);
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("VEXA_API_TOKEN"), std::string::npos);

  warnings.clear();
  error = apiOptionsFor(parsed({"--api", "0", "--api-allow-host", "Lab", "--metrics-public",
                                "--api-max-connections", "9"}),
                        {kLineToken, "", {}, {}}, api, warnings);
  EXPECT_FALSE(error);
  EXPECT_EQ(api.allowedHosts, std::vector<std::string>{"lab"});
  EXPECT_TRUE(api.metricsPublic);
  EXPECT_EQ(api.maxConnections, 9u);
  EXPECT_EQ(api.token, kLineToken);
  // The command line's warning, and where the token came from.
  EXPECT_EQ(warnings, (std::vector<std::string>{loadApiToken({kLineToken, "", {}, {}}).warnings[0],
                                                "API token from --api-token"}));
  const api::ApiServer::Options server = serverOptions(api);
  EXPECT_EQ(server.allowedHosts, std::vector<std::string>{"lab"});
  EXPECT_TRUE(server.metricsPublic);
  EXPECT_EQ(server.maxConnections, 9u);
  EXPECT_EQ(server.token, kLineToken);
  EXPECT_FALSE(apiOptionsFor(parsed({"--api", "0"}), {}, api, warnings));
  EXPECT_EQ(api.maxConnections, 1024u);
  EXPECT_FALSE(api.metricsPublic);
}

// The value of --api-token is overwritten in the arguments, in both spellings, and nothing
// else is.
TEST(ApiToken, TheArgumentIsHidden) {
  std::vector<std::string> storage = {"vexa-sim",   "--api-token", kLineToken,
                                      "--api",      "0",           "--api-token=" + kLineToken,
                                      "--api-token"};
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  hideTokenArgument(static_cast<int>(argv.size()), argv.data());
  const std::string hidden(kLineToken.size(), 'x');
  EXPECT_EQ(std::string(argv[1]), "--api-token");
  EXPECT_EQ(std::string(argv[2]), hidden);
  EXPECT_EQ(std::string(argv[3]), "--api");
  EXPECT_EQ(std::string(argv[4]), "0");
  EXPECT_EQ(std::string(argv[5]), "--api-token=" + hidden);
  EXPECT_EQ(std::string(argv[6]), "--api-token");
}

// The open-file limit asked for leaves room for every connection the interface may hold, on
// top of what the units and a save need.
TEST(ApiToken, TheOpenFileLimitCountsTheConnectionCap) {
  const size_t units = 500;
  const size_t without = descriptorsNeeded(units, {});
  EXPECT_GT(without, units);
  for (unsigned cap : {1u, 1024u, 65536u}) {
    ApiOptions api;
    api.address = api::ApiAddress{};
    api.maxConnections = cap;
    EXPECT_GT(descriptorsNeeded(units, api), without + cap) << cap;
  }
}

}  // namespace
}  // namespace vexa
