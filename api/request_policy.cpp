#include "request_policy.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace vexa::api {

namespace {

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

bool allDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The name part of a Host value ("[::1]:80" -> "::1", "Example:8080" -> "Example"); nothing
// when the port is not a number or the brackets do not close.
std::optional<std::string_view> hostName(std::string_view host) {
  std::string_view port;
  std::string_view name = host;
  if (!host.empty() && host.front() == '[') {
    const size_t close = host.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    name = host.substr(1, close - 1);
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
      if (!allDigits(port)) return std::nullopt;
    }
    return name;
  }
  if (const size_t colon = host.rfind(':'); colon != std::string_view::npos) {
    name = host.substr(0, colon);
    port = host.substr(colon + 1);
    if (!allDigits(port)) return std::nullopt;
  }
  if (name.empty()) return std::nullopt;
  return name;
}

// A dotted IPv4 address (no name a resolver could hand to another host).
std::optional<in_addr> ipv4Literal(std::string_view name) {
  const std::string text(name);
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
  return a;
}

bool loopbackName(std::string_view name) {
  if (sameIgnoringCase(name, "localhost") || name == "::1") return true;
  const std::optional<in_addr> a = ipv4Literal(name);
  return a && (ntohl(a->s_addr) >> 24) == 127;
}

}  // namespace

bool hostAllowed(std::string_view host, std::string_view listenAddress,
                 const std::vector<std::string>& allowed) {
  const std::optional<std::string_view> name = hostName(trim(host));
  if (!name) return false;
  if (loopbackName(*name) || sameIgnoringCase(*name, listenAddress)) return true;
  // Listening on every address, any of this machine's addresses may be asked for by number:
  // DNS rebinding needs a name, and an address literal is none.
  if (listenAddress == "0.0.0.0" && ipv4Literal(*name)) return true;
  return std::any_of(allowed.begin(), allowed.end(),
                     [&](const std::string& a) { return sameIgnoringCase(*name, a); });
}

bool originAllowed(const std::optional<std::string_view>& origin, std::string_view host) {
  if (!origin) return true;
  const std::string_view value = trim(*origin);
  constexpr std::string_view kScheme = "http://";
  return value.size() > kScheme.size() &&
         sameIgnoringCase(value.substr(0, kScheme.size()), kScheme) &&
         sameIgnoringCase(value.substr(kScheme.size()), trim(host));
}

bool isJsonContentType(std::string_view contentType) {
  const std::string_view media = trim(contentType.substr(0, contentType.find(';')));
  return sameIgnoringCase(media, "application/json");
}

bool sameSecret(std::string_view given, std::string_view secret) {
  // Every byte of `given` is compared (against the secret repeated), whatever matched before.
  unsigned char diff = given.size() == secret.size() ? 0 : 1;
  for (size_t i = 0; i < given.size(); ++i) {
    const char other = secret.empty() ? '\0' : secret[i % secret.size()];
    diff = static_cast<unsigned char>(diff | (given[i] ^ other));
  }
  return diff == 0 && !secret.empty();
}

std::optional<std::string_view> bearerToken(std::string_view authorization) {
  std::string_view value = trim(authorization);
  constexpr std::string_view kScheme = "bearer";
  if (value.size() <= kScheme.size() ||
      !sameIgnoringCase(value.substr(0, kScheme.size()), kScheme) ||
      (value[kScheme.size()] != ' ' && value[kScheme.size()] != '\t')) {
    return std::nullopt;
  }
  value = trim(value.substr(kScheme.size()));
  if (value.empty()) return std::nullopt;
  return value;
}

bool authorized(const Credentials& request, const AuthSettings& settings) {
  if (settings.token.empty()) return true;
  if (request.accessToken && !request.eventStream) return false;
  if (request.metrics && settings.metricsPublic) return true;
  if (request.authorization) {
    const std::optional<std::string_view> bearer = bearerToken(*request.authorization);
    return bearer && sameSecret(*bearer, settings.token);
  }
  return request.accessToken && sameSecret(*request.accessToken, settings.token);
}

std::optional<uint64_t> contentLengthOf(const std::vector<std::string_view>& values) {
  std::optional<uint64_t> length;
  for (const std::string_view raw : values) {
    const std::string_view value = trim(raw);
    // 18 digits cannot overflow; no body of ours comes near.
    if (!allDigits(value) || value.size() > 18) return std::nullopt;
    uint64_t n = 0;
    for (const char c : value) n = n * 10 + static_cast<uint64_t>(c - '0');
    if (length && *length != n) return std::nullopt;
    length = n;
  }
  return length;
}

std::optional<int> transferCodingRefusal(const std::vector<std::string_view>& values,
                                         std::string_view version) {
  if (values.empty()) return std::nullopt;
  if (values.size() > 1) return 400;
  const std::string_view coding = trim(values.front());
  if (sameIgnoringCase(coding, "chunked")) {
    return version == "HTTP/1.1" ? std::nullopt : std::optional<int>(400);
  }
  if (coding.empty() || coding.find(',') != std::string_view::npos) return 400;
  return 501;
}

bool validFieldName(std::string_view name) {
  static constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           kSymbols.find(c) != std::string_view::npos;
  });
}

bool validFieldValue(std::string_view value) {
  return std::none_of(value.begin(), value.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7f;
  });
}

}  // namespace vexa::api
