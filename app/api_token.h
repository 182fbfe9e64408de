#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vexa {

// The bearer token of the HTTP interface and where it comes from. The first source given wins:
//   1. --api-token-file FILE, or --api-token TOKEN (both at once is refused by the parser);
//   2. the environment variable VEXA_API_TOKEN (set and not empty);
//   3. the service manager's credential $CREDENTIALS_DIRECTORY/api-token (LoadCredential=),
//      when that file exists.
// A later source is not looked at once an earlier one is given, even when it is broken.
constexpr size_t kMinApiTokenLength = 16;
constexpr size_t kMaxApiTokenLength = 256;
constexpr const char* kApiTokenVariable = "VEXA_API_TOKEN";
constexpr const char* kApiTokenCredential = "api-token";

// What the rule of a token is, for messages.
std::string apiTokenRule();

// Why `token` is not a token: it must be kMinApiTokenLength to kMaxApiTokenLength printable
// ASCII characters without spaces (0x21 to 0x7E). Nothing when it is one. The text never
// quotes the token.
std::optional<std::string> apiTokenProblem(const std::string& token);

// The places a token may come from; each empty or null when not given.
struct ApiTokenSources {
  std::string commandLine;                          // --api-token, as given
  std::string file;                                 // --api-token-file
  std::optional<std::string> environment;           // the value of VEXA_API_TOKEN
  std::optional<std::string> credentialsDirectory;  // the value of CREDENTIALS_DIRECTORY
};

// The token found (empty: none given), or why the start must fail. Never holds the token in
// `error` or `warnings`.
struct LoadedApiToken {
  std::string token;
  std::string source;  // "--api-token-file FILE", "VEXA_API_TOKEN", ...; empty without a token
  std::vector<std::string> warnings;  // one line each: a file others can read, a command line
  std::string error;                  // one line; the start fails with the usage exit code
  bool ok() const { return error.empty(); }
};

// Reads the token from the first source given. A file is read without blocking and only when it
// is a regular file (a FIFO, a device or a directory is refused), at most
// kMaxApiTokenLength + 2 bytes; one trailing line end (LF or CR LF) is not part of the token.
// A file that group or others may read gives a warning.
LoadedApiToken loadApiToken(const ApiTokenSources& sources);

// The sources of this process: `commandLine` and `file` from the options, the rest from the
// environment.
ApiTokenSources processApiTokenSources(std::string commandLine, std::string file);

}  // namespace vexa
