#include "api_server.h"

#include "change_json.h"
#include "event_streams.h"
#include "metrics_text.h"
#include "process_stats.h"
#include "request_policy.h"
#include "scenario_loader.h"
#include "unit_json.h"
#include "web_assets.h"

namespace vexa::api {

using nlohmann::json;

namespace {

HttpReply jsonReply(const json& body) {
  HttpReply reply;
  reply.body = dumpJson(body);
  return reply;
}

HttpReply unavailable() {
  return errorReply(503, "the units do not answer");
}

// The kinds named in "?kinds=a,b"; false when one is unknown.
bool kindsOf(const HttpRequest& request, uint32_t& kinds, std::string& unknown) {
  const std::string* list = request.param("kinds");
  if (!list) return true;
  kinds = 0;
  size_t start = 0;
  while (start <= list->size()) {
    const size_t end = std::min(list->find(',', start), list->size());
    const std::string name = list->substr(start, end - start);
    EventKind kind;
    if (!eventKindOf(name, kind)) {
      unknown = name;
      return false;
    }
    kinds |= 1u << static_cast<unsigned>(kind);
    start = end + 1;
  }
  return true;
}

std::optional<std::string_view> viewOf(const std::string* value) {
  if (!value) return std::nullopt;
  return std::string_view(*value);
}

}  // namespace

ApiServer::ApiServer(UnitRegistry& registry, EventHub& hub, Options options)
    : registry_(registry),
      hub_(hub),
      options_(std::move(options)),
      server_(*this, HttpServer::Options{options_.address.host, options_.address.port,
                                         options_.maxConnections, options_.limits}) {}

ApiServer::~ApiServer() {
  server_.stop();
}

// Server thread: everything decided from the headers alone, in this order: Host, OPTIONS, the
// pages' files, the token, the path and method, and for writes the content type and origin.
std::optional<HttpReply> ApiServer::screen(const HttpRequest& request) {
  const std::string* host = request.header("Host");
  if (!host && request.version != "HTTP/1.0") return errorReply(400, "a Host header is needed");
  if (host && !hostAllowed(*host, options_.address.host, options_.allowedHosts)) {
    return errorReply(421, "this server does not answer for \"" + *host + "\"");
  }
  const std::optional<Route> route = routeOf(request.path);
  if (request.method == "OPTIONS") {
    if (!route) return errorReply(404, "no such resource");
    HttpReply reply;
    reply.status = 204;
    reply.headers.emplace_back("Allow", std::string(allowedMethods(route->kind)));
    return reply;
  }
  if (route && route->kind == RouteKind::Asset && request.method == "GET") {
    // The pages hold no data: no token needed.
    const WebAsset* asset = findWebAsset(request.path);
    HttpReply reply;
    reply.contentType = std::string(asset->contentType) + "; charset=utf-8";
    reply.body = std::string(asset->body);
    reply.headers.emplace_back("Cache-Control", "no-cache");
    if (asset->contentType == "text/html") {
      reply.headers.emplace_back(
          "Content-Security-Policy",
          "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
    }
    return reply;
  }
  const bool get = request.method == "GET";
  const Credentials credentials{
      viewOf(request.header("Authorization")), viewOf(request.param("access_token")),
      route && get && isStream(route->kind), route && get && route->kind == RouteKind::Metrics};
  if (!authorized(credentials, AuthSettings{options_.token, options_.metricsPublic})) {
    HttpReply reply = errorReply(
        401, credentials.accessToken && !credentials.eventStream
                 ? "?access_token= is taken only by event streams; send an Authorization header"
                 : "a valid \"Authorization: Bearer TOKEN\" header is needed");
    reply.headers.emplace_back("WWW-Authenticate", "Bearer");
    return reply;
  }
  if (!route) return errorReply(404, "no such resource");
  if (!allowsMethod(route->kind, request.method)) {
    return errorReply(404, "no such resource with " + request.method + " (it takes " +
                               std::string(allowedMethods(route->kind)) + ")");
  }
  if (request.method == "POST" || request.method == "PATCH" || request.method == "DELETE") {
    const std::string* type = request.header("Content-Type");
    if (!type || !isJsonContentType(*type)) {
      return errorReply(415, "changes must be sent as \"Content-Type: application/json\"");
    }
    if (!originAllowed(viewOf(request.header("Origin")), host ? *host : std::string())) {
      return errorReply(403, "changes are accepted only from this server's own pages");
    }
  }
  return std::nullopt;
}

// A worker: the registry's calls, which may wait for the units' thread.
HttpReply ApiServer::answer(const HttpRequest& request) {
  const std::optional<Route> route = routeOf(request.path);
  if (!route) return errorReply(404, "no such resource");
  const std::string& m = request.method;
  switch (route->kind) {
    case RouteKind::Health:
      return health();
    case RouteKind::Units:
      return units();
    case RouteKind::Metrics:
      return metrics();
    case RouteKind::Unit: {
      if (m == "GET") return unit(route->unit);
      auto parsed = parseChange(request.body);
      if (const FieldError* error = std::get_if<FieldError>(&parsed)) {
        HttpReply reply = errorReply(error->status, error->message);
        reply.body = errorBody(*error);
        return reply;
      }
      return change(route->unit, std::get<UnitChange>(parsed));
    }
    case RouteKind::UnitReset: {
      UnitChange reset;
      reset.resetToDefaults = true;
      return change(route->unit, reset);
    }
    case RouteKind::UnitScenario: {
      if (m == "POST") return scenario(route->unit, request.body);
      UnitChange stop;
      stop.stopScenario = true;
      return change(route->unit, stop);
    }
    case RouteKind::UnitEvents:
      return events(request, route->unit);
    case RouteKind::Events: {
      const std::string* unit = request.param("unit");
      return events(request, unit ? *unit : std::string());
    }
    case RouteKind::Cards:
      return cards();
    case RouteKind::Asset:
      break;
  }
  return errorReply(404, "no such resource");
}

HttpReply ApiServer::health() {
  const auto count = registry_.count();
  if (!count) return unavailable();
  const auto uptime = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_);
  return jsonReply({{"status", "ok"},
                    {"version", options_.version},
                    {"units", *count},
                    {"uptime_s", uptime.count()},
                    {"event_readers", hub_.readers()}});
}

HttpReply ApiServer::units() {
  const auto all = registry_.snapshotAll();
  if (!all) return unavailable();
  json list = json::array();
  for (const UnitSnapshot& u : *all) list.push_back(unitSummaryJson(u));
  return jsonReply({{"units", list}});
}

HttpReply ApiServer::metrics() {
  const auto all = registry_.snapshotAll();
  if (!all) return unavailable();
  const EventStats events{hub_.published(), hub_.lost(), hub_.readers()};
  HttpReply reply;
  reply.contentType = "text/plain; version=0.0.4; charset=utf-8";
  reply.body = metricsText(*all, events, readProcessStats());
  return reply;
}

HttpReply ApiServer::unit(const std::string& id) {
  const UnitRegistry::Lookup found = registry_.snapshot(id);
  using O = UnitRegistry::Lookup::Outcome;
  if (found.outcome == O::UnknownUnit) return errorReply(404, "no unit " + id);
  if (found.outcome == O::Unavailable) return errorReply(503, "the unit does not answer");
  return jsonReply(unitJson(found.snapshot));
}

HttpReply ApiServer::change(const std::string& id, const UnitChange& c) {
  const ChangeResult result = registry_.apply(id, c);
  using O = ChangeResult::Outcome;
  switch (result.outcome) {
    case O::UnknownUnit:
      return errorReply(404, "no unit " + id);
    case O::Refused:
      return errorReply(409, result.message, result.field);
    case O::Unavailable:
      return errorReply(503, result.message.empty() ? "the unit does not answer" : result.message);
    case O::Applied:
      break;
  }
  json body{{"clamped", clampedJson(result)}};
  if (result.after) body["unit"] = unitJson(*result.after);
  return jsonReply(body);
}

// A scenario document (the format of a scenario file) starts on the unit.
HttpReply ApiServer::scenario(const std::string& id, const std::string& body) {
  ScenarioLoad load = parseScenario(body);
  if (!load.ok()) {
    const size_t colon = load.error.find(": ");
    return errorReply(422, load.error,
                      colon == std::string::npos ? std::string() : load.error.substr(0, colon));
  }
  UnitChange start;
  start.startScenario = load.scenario;
  return change(id, start);
}

HttpReply ApiServer::events(const HttpRequest& request, const std::string& unit) {
  EventQueue::Filter filter;
  filter.unit = unit;
  std::string unknown;
  if (!kindsOf(request, filter.kinds, unknown)) {
    return errorReply(400, "unknown event kind \"" + unknown + "\"", "kinds");
  }
  if (!unit.empty() && !registry_.has(unit)) return errorReply(404, "no unit " + unit);
  // A reply's framed bytes (escaped, about five times their size) only when asked for.
  const std::string* framed = request.param("framed");
  HttpReply reply;
  reply.stream =
      std::make_shared<EventStreamSource>(hub_, std::move(filter), framed && *framed == "1",
                                          options_.limits.streamBatch, options_.limits.heartbeat);
  return reply;
}

HttpReply ApiServer::cards() {
  HttpReply reply;
  reply.stream = std::make_shared<CardStreamSource>(
      hub_, registry_,
      [this](std::function<void()> work) { return server_.submit(std::move(work)); },
      options_.limits.cardInterval, options_.limits.heartbeat);
  return reply;
}

}  // namespace vexa::api
