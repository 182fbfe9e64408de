#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::api {

// The rules that decide whether a request may drive the interface at all, as pure functions of
// its header values: only this machine's pages and test code, never an arbitrary web page (DNS
// rebinding, cross-site forms) and never without the token. Callable from any thread.

// Whether a Host header names this server: a loopback address (127.x.x.x, [::1]), "localhost",
// the address it listens on (on 0.0.0.0: any dotted IPv4 address), or one of `allowed`;
// case-insensitive, with or without a port.
bool hostAllowed(std::string_view host, std::string_view listenAddress,
                 const std::vector<std::string>& allowed);

// Whether a write may come from `origin` (the Origin header; none: not a browser's cross-site
// request): it must be the server's own page, "http://" + the Host the request was sent to.
bool originAllowed(const std::optional<std::string_view>& origin, std::string_view host);

// "application/json", optionally with parameters ("; charset=utf-8"), in any letter case.
bool isJsonContentType(std::string_view contentType);

// Compares two secrets in a time that does not depend on how much of them matches.
bool sameSecret(std::string_view given, std::string_view secret);

// The token of an "Authorization: Bearer TOKEN" header (scheme in any letter case), or nothing.
std::optional<std::string_view> bearerToken(std::string_view authorization);

// What a request offers to prove it may read or change the units.
struct Credentials {
  std::optional<std::string_view> authorization;  // the Authorization header
  std::optional<std::string_view> accessToken;    // the ?access_token= parameter
  bool eventStream = false;  // a GET of an event stream (where EventSource cannot set headers)
  bool metrics = false;      // GET /metrics
};
struct AuthSettings {
  std::string_view token;  // empty: no token asked
  bool metricsPublic = false;
};
// Whether the request may go on: without a token set, always; else a Bearer header with the
// token, or ?access_token= on an event stream. A token in the address of any other request is
// refused even beside a valid header (addresses end up in logs and histories).
bool authorized(const Credentials& request, const AuthSettings& settings);

// A request's Content-Length headers (every one it sent): the length when all of them are the
// same decimal number, nothing when one is negative, not a number, too large or differs.
std::optional<uint64_t> contentLengthOf(const std::vector<std::string_view>& values);

// A request's Transfer-Encoding headers (every one it sent) on a request of HTTP `version`: the
// status that refuses them, or nothing when they are absent or exactly one "chunked" on
// HTTP/1.1. 501 for one coding this server does not know; 400 for a list ("chunked, gzip"),
// several headers, an empty one, or chunked on HTTP/1.0 (which has no chunked bodies).
std::optional<int> transferCodingRefusal(const std::vector<std::string_view>& values,
                                         std::string_view version);

// A header name is a token (letters, digits and !#$%&'*+-.^_`|~): no space before its colon.
bool validFieldName(std::string_view name);
// A header value holds no control character but a tab (no bare CR, no LF).
bool validFieldValue(std::string_view value);

}  // namespace vexa::api
