#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "api_address.h"
#include "event_hub.h"
#include "status.h"
#include "unit_registry.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace vexa::api {

// The HTTP interface (paths in docs/api.md): unit resources and changes, event streams, the
// dashboard's coalesced card stream, metrics, health and the dashboard's pages. Runs on threads
// of its own and reaches the units only through the registry and the hub. With a token, every
// request but the pages' static files needs "Authorization: Bearer TOKEN" (or, for the page's
// event streams, "?access_token=TOKEN"). start and stop belong to one controlling thread.
class ApiServer {
 public:
  // Request bodies past this are refused with 413.
  static constexpr size_t kMaxBodyBytes = 64 * 1024;
  // Event streams open at once; one more is refused with 503. Each holds one thread.
  static constexpr int kMaxStreams = 32;
  // Threads serving requests: every stream plus room for ordinary requests.
  static constexpr int kThreads = kMaxStreams + 8;
  // An event stream writes at most this often while events keep coming; its queue
  // (EventQueue::kDefaultCapacity) holds far more than arrive in that time.
  static constexpr std::chrono::milliseconds kStreamBatch{10};
  // The dashboard's card stream sends at most this often.
  static constexpr std::chrono::milliseconds kCardInterval{100};

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
  };

  ApiServer(UnitRegistry& registry, EventHub& hub, Options options);
  ~ApiServer();
  ApiServer(const ApiServer&) = delete;
  ApiServer& operator=(const ApiServer&) = delete;

  // Binds and starts listening; the error names the address.
  Status start();
  // Ends the streams, stops listening and joins the threads. Safe to call twice.
  void stop();
  // The bound port (useful with port 0).
  uint16_t port() const { return port_; }

 private:
  void addRoutes();
  bool authorized(const httplib::Request& request) const;
  void streamEvents(const httplib::Request& request, httplib::Response& response,
                    const std::string& unit);
  void streamCards(httplib::Response& response);
  bool openStream(httplib::Response& response);

  UnitRegistry& registry_;
  EventHub& hub_;
  const Options options_;
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> streams_{0};
  uint16_t port_ = 0;
};

}  // namespace vexa::api
