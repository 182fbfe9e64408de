#include "api_token.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bounded_read.h"

namespace vexa {

namespace {
// A token that breaks the rule: the start fails naming where it came from.
LoadedApiToken broken(const std::string& source, const std::string& problem) {
  LoadedApiToken result;
  result.error = "the API token from " + source + ": " + problem + "; " + apiTokenRule();
  return result;
}

// Reads a token file; `missingIsNone`: a file that is not there gives no token and no error.
LoadedApiToken readTokenFile(const std::string& path, const std::string& source,
                             bool missingIsNone) {
  LoadedApiToken result;
  // Room for the longest token and its line end, and one byte more to tell a longer file.
  const BoundedRead read = readRegularFile(path, kMaxApiTokenLength + 2);
  if (read.outcome == BoundedRead::Outcome::Missing) {
    if (!missingIsNone) result.error = source + ": no such file";
    return result;
  }
  if (read.special) {
    result.error = source + ": not a regular file (a FIFO, a device, a directory or a socket " +
                   "cannot hold a token)";
    return result;
  }
  if (read.unreadable()) {
    result.error = source + ": cannot read it: " + std::strerror(read.error);
    return result;
  }
  if (read.truncated) {
    return broken(source,
                  "it holds more than " + std::to_string(kMaxApiTokenLength) + " characters");
  }
  std::string token = read.bytes;
  // One line end, as an editor or `echo` leaves it, is not part of the token.
  if (!token.empty() && token.back() == '\n') {
    token.pop_back();
    if (!token.empty() && token.back() == '\r') token.pop_back();
  }
  if (const auto problem = apiTokenProblem(token)) return broken(source, *problem);
  if ((read.mode & 044u) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", read.mode);
    result.warnings.push_back("warning: " + source + " can be read by other users (mode " + mode +
                              "); make it readable by this user only (chmod 600)");
  }
  result.token = std::move(token);
  result.source = source;
  return result;
}
}  // namespace

std::string apiTokenRule() {
  return "an API token is " + std::to_string(kMinApiTokenLength) + " to " +
         std::to_string(kMaxApiTokenLength) +
         " printable ASCII characters without spaces (0x21 to 0x7E)";
}

std::optional<std::string> apiTokenProblem(const std::string& token) {
  if (token.size() < kMinApiTokenLength || token.size() > kMaxApiTokenLength) {
    return "it has " + std::to_string(token.size()) + " characters";
  }
  for (size_t i = 0; i < token.size(); ++i) {
    const auto c = static_cast<unsigned char>(token[i]);
    if (c < 0x21 || c > 0x7E) {
      return "character " + std::to_string(i + 1) + " is a space, a control character or not ASCII";
    }
  }
  return std::nullopt;
}

LoadedApiToken loadApiToken(const ApiTokenSources& sources) {
  if (!sources.file.empty()) {
    return readTokenFile(sources.file, "--api-token-file " + sources.file, false);
  }
  if (!sources.commandLine.empty()) {
    if (const auto problem = apiTokenProblem(sources.commandLine)) {
      return broken("--api-token", *problem);
    }
    LoadedApiToken result;
    result.token = sources.commandLine;
    result.source = "--api-token";
    result.warnings.push_back(
        "warning: --api-token puts the token where other local users can read it (ps, "
        "/proc/PID/cmdline); give it with --api-token-file FILE, the environment variable " +
        std::string(kApiTokenVariable) + " or the service credential " + kApiTokenCredential +
        " (LoadCredential=) instead");
    return result;
  }
  if (sources.environment && !sources.environment->empty()) {
    if (const auto problem = apiTokenProblem(*sources.environment)) {
      return broken(kApiTokenVariable, *problem);
    }
    LoadedApiToken result;
    result.token = *sources.environment;
    result.source = kApiTokenVariable;
    return result;
  }
  if (sources.credentialsDirectory && !sources.credentialsDirectory->empty()) {
    const std::string path = *sources.credentialsDirectory + "/" + kApiTokenCredential;
    return readTokenFile(path, "the credential " + path, true);
  }
  return {};
}

ApiTokenSources processApiTokenSources(std::string commandLine, std::string file) {
  ApiTokenSources sources;
  sources.commandLine = std::move(commandLine);
  sources.file = std::move(file);
  if (const char* v = std::getenv(kApiTokenVariable)) sources.environment = v;
  if (const char* v = std::getenv("CREDENTIALS_DIRECTORY")) sources.credentialsDirectory = v;
  return sources;
}

}  // namespace vexa
