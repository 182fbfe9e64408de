#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "api_address.h"
#include "api_routes.h"
#include "event_hub.h"
#include "http_server.h"
#include "status.h"
#include "unit_registry.h"

namespace vexa::api {

// The HTTP interface (paths in docs/api.md): unit resources and changes, event streams, the
// dashboard's coalesced card stream, metrics, health and the dashboard's pages, on an
// HttpServer (one thread for every connection, a few workers for the registry's calls). It
// reaches the units only through the registry and the hub. Only this machine's pages and test
// code may drive it (request_policy.h): a Host naming this server, JSON writes from its own
// origin, and with a token "Authorization: Bearer TOKEN" (or "?access_token=TOKEN" on event
// streams). start and stop belong to one controlling thread.
class ApiServer final : private HttpHandler {
 public:
  struct Options {
    ApiAddress address;
    std::string token;  // empty: no authorisation asked
    std::string version;
    // Names a request's Host may give besides loopback addresses, "localhost" and the
    // listening address (--api-allow-host); any other Host is refused (DNS rebinding).
    std::vector<std::string> allowedHosts;
    // /metrics (and only it) answers without the token (--metrics-public), for scrapers.
    bool metricsPublic = false;
    // Connections open at once (--api-max-connections); one more is refused at once.
    unsigned maxConnections = 1024;
    HttpLimits limits;
  };

  ApiServer(UnitRegistry& registry, EventHub& hub, Options options);
  ~ApiServer() override;
  ApiServer(const ApiServer&) = delete;
  ApiServer& operator=(const ApiServer&) = delete;

  // Binds and starts listening; the error names the address.
  Status start() { return server_.start(); }
  // Ends the streams, stops listening and joins the threads. Safe to call twice.
  void stop() { server_.stop(); }
  // The bound port (useful with port 0).
  uint16_t port() const { return server_.port(); }

 private:
  std::optional<HttpReply> screen(const HttpRequest& request) override;
  HttpReply answer(const HttpRequest& request) override;

  HttpReply health();
  HttpReply units();
  HttpReply metrics();
  HttpReply unit(const std::string& id);
  HttpReply change(const std::string& id, const UnitChange& change);
  HttpReply scenario(const std::string& id, const std::string& body);
  HttpReply events(const HttpRequest& request, const std::string& unit);
  HttpReply cards();

  UnitRegistry& registry_;
  EventHub& hub_;
  const Options options_;
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  HttpServer server_;
};

}  // namespace vexa::api
