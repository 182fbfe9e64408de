#include "api_server.h"
#include "scenario_loader.h"

#include <httplib.h>

#include <cerrno>
#include <cstring>

#include "change_json.h"
#include "metrics_text.h"
#include "process_stats.h"
#include "text_format.h"
#include "unit_json.h"
#include "web_assets.h"

namespace vexa::api {

using nlohmann::json;

namespace {

constexpr const char* kJson = "application/json";
const std::string kUnitPath = "/api/v1/units/([A-Za-z0-9_.-]{1,64})";

void sendJson(httplib::Response& response, int status, const json& body) {
  response.status = status;
  response.set_content(dumpJson(body), kJson);
}

void sendError(httplib::Response& response, int status, const std::string& message,
               const std::string& field = {}) {
  response.status = status;
  response.set_content(errorBody(FieldError{status, field, message, std::nullopt, std::nullopt}),
                       kJson);
}

// Compares without leaking, through its time, how much of a secret matched.
bool sameSecret(std::string_view a, std::string_view b) {
  unsigned char diff = a.size() == b.size() ? 0 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    const char other = b.empty() ? '\0' : b[i % b.size()];
    diff = static_cast<unsigned char>(diff | (a[i] ^ other));
  }
  return diff == 0 && !b.empty();
}

// The kinds named in "?kinds=a,b"; false when one is unknown.
bool kindsOf(const httplib::Request& request, uint32_t& kinds, std::string& unknown) {
  if (!request.has_param("kinds")) return true;
  kinds = 0;
  std::string list = request.get_param_value("kinds");
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(',', start), list.size());
    const std::string name = list.substr(start, end - start);
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

void appendFrame(std::string& out, const UnitEvent& e, bool withFramed) {
  out += "id: ";
  appendDecimal(out, static_cast<int64_t>(e.seq));
  out += "\nevent: ";
  out += eventKindName(e.kind);
  out += "\ndata: ";
  appendEventJson(out, e, withFramed);
  out += "\n\n";
}

}  // namespace

ApiServer::ApiServer(UnitRegistry& registry, EventHub& hub, Options options)
    : registry_(registry),
      hub_(hub),
      options_(std::move(options)),
      server_(std::make_unique<httplib::Server>()) {
  server_->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
  server_->set_payload_max_length(kMaxBodyBytes);
  server_->set_keep_alive_max_count(100);
  addRoutes();
}

ApiServer::~ApiServer() {
  stop();
}

Status ApiServer::start() {
  const std::string where = options_.address.host + ":" + std::to_string(options_.address.port);
  errno = 0;
  const int port = options_.address.port == 0
                       ? server_->bind_to_any_port(options_.address.host)
                       : (server_->bind_to_port(options_.address.host, options_.address.port)
                              ? options_.address.port
                              : -1);
  if (port < 0) {
    return Status::Error("cannot listen on " + where +
                         (errno ? std::string(": ") + std::strerror(errno) : std::string()));
  }
  port_ = static_cast<uint16_t>(port);
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  return Status::Ok();
}

void ApiServer::stop() {
  stopping_ = true;
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
}

bool ApiServer::authorized(const httplib::Request& request) const {
  const std::string& token = options_.token;
  if (token.empty()) return true;
  const std::string header = request.get_header_value("Authorization");
  if (header.rfind("Bearer ", 0) == 0) return sameSecret(header.substr(7), token);
  if (request.has_param("access_token")) {
    return sameSecret(request.get_param_value("access_token"), token);
  }
  return false;
}

void ApiServer::addRoutes() {
  httplib::Server& s = *server_;

  s.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    if (request.method == "GET" && findWebAsset(request.path)) {
      return httplib::Server::HandlerResponse::Unhandled;  // the pages hold no data
    }
    if (authorized(request)) return httplib::Server::HandlerResponse::Unhandled;
    response.set_header("WWW-Authenticate", "Bearer");
    sendError(response, 401, "a valid \"Authorization: Bearer TOKEN\" header is needed");
    return httplib::Server::HandlerResponse::Handled;
  });

  // Every error the library makes itself (404 path, 413 body, 400 request) answers in JSON too.
  s.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return;
    const char* message = response.status == 404   ? "no such resource"
                          : response.status == 413 ? "the body is larger than 64 KiB"
                          : response.status == 414 ? "the request line is too long"
                          : response.status == 405
                              ? "method not allowed"
                              : "bad request (malformed HTTP, or a body without Content-Length)";
    sendError(response, response.status, message);
  });

  s.Get("/api/v1/health", [this](const httplib::Request&, httplib::Response& response) {
    const auto units = registry_.count();
    const auto uptime = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_);
    if (!units) return sendError(response, 503, "the units do not answer");
    sendJson(response, 200,
             {{"status", "ok"},
              {"version", options_.version},
              {"units", *units},
              {"uptime_s", uptime.count()},
              {"event_readers", hub_.readers()}});
  });

  s.Get("/api/v1/units", [this](const httplib::Request&, httplib::Response& response) {
    const auto units = registry_.snapshotAll();
    if (!units) return sendError(response, 503, "the units do not answer");
    json list = json::array();
    for (const UnitSnapshot& u : *units) list.push_back(unitSummaryJson(u));
    sendJson(response, 200, {{"units", list}});
  });

  s.Get(kUnitPath, [this](const httplib::Request& request, httplib::Response& response) {
    const std::string id = request.matches[1];
    const UnitRegistry::Lookup found = registry_.snapshot(id);
    using O = UnitRegistry::Lookup::Outcome;
    if (found.outcome == O::UnknownUnit) return sendError(response, 404, "no unit " + id);
    if (found.outcome == O::Unavailable)
      return sendError(response, 503, "the unit does not answer");
    sendJson(response, 200, unitJson(found.snapshot));
  });

  auto change = [this](const std::string& id, const UnitChange& c, httplib::Response& response) {
    const ChangeResult result = registry_.apply(id, c);
    using O = ChangeResult::Outcome;
    switch (result.outcome) {
      case O::UnknownUnit:
        return sendError(response, 404, "no unit " + id);
      case O::Refused:
        return sendError(response, 409, result.message, result.field);
      case O::Unavailable:
        return sendError(response, 503,
                         result.message.empty() ? "the unit does not answer" : result.message);
      case O::Applied:
        break;
    }
    json body{{"clamped", clampedJson(result)}};
    if (result.after) body["unit"] = unitJson(*result.after);
    sendJson(response, 200, body);
  };

  s.Patch(kUnitPath, [change](const httplib::Request& request, httplib::Response& response) {
    auto parsed = parseChange(request.body);
    if (const FieldError* error = std::get_if<FieldError>(&parsed)) {
      response.status = error->status;
      return response.set_content(errorBody(*error), kJson);
    }
    change(request.matches[1], std::get<UnitChange>(parsed), response);
  });

  s.Post(kUnitPath + "/reset",
         [change](const httplib::Request& request, httplib::Response& response) {
           UnitChange reset;
           reset.resetToDefaults = true;
           change(request.matches[1], reset, response);
         });

  // A scenario document (the format of a scenario file) starts on the unit; DELETE stops it.
  s.Post(kUnitPath + "/scenario",
         [change](const httplib::Request& request, httplib::Response& response) {
           ScenarioLoad load = parseScenario(request.body);
           if (!load.ok()) {
             const size_t colon = load.error.find(": ");
             const std::string field =
                 colon == std::string::npos ? std::string() : load.error.substr(0, colon);
             return sendError(response, 422, load.error, field);
           }
           UnitChange start;
           start.startScenario = load.scenario;
           change(request.matches[1], start, response);
         });
  s.Delete(kUnitPath + "/scenario",
           [change](const httplib::Request& request, httplib::Response& response) {
             UnitChange stop;
             stop.stopScenario = true;
             change(request.matches[1], stop, response);
           });

  s.Get(kUnitPath + "/events",
        [this](const httplib::Request& request, httplib::Response& response) {
          const std::string id = request.matches[1];
          if (!registry_.has(id)) return sendError(response, 404, "no unit " + id);
          streamEvents(request, response, id);
        });

  s.Get("/api/v1/events", [this](const httplib::Request& request, httplib::Response& response) {
    streamEvents(request, response,
                 request.has_param("unit") ? request.get_param_value("unit") : std::string());
  });

  s.Get("/api/v1/cards",
        [this](const httplib::Request&, httplib::Response& response) { streamCards(response); });

  s.Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
    const auto units = registry_.snapshotAll();
    if (!units) return sendError(response, 503, "the units do not answer");
    const EventStats events{hub_.published(), hub_.lost(), hub_.readers()};
    response.set_content(metricsText(*units, events, readProcessStats()),
                         "text/plain; version=0.0.4; charset=utf-8");
  });

  for (const std::string path : {"/", "/app.css", "/app.js"}) {
    s.Get(path, [path](const httplib::Request&, httplib::Response& response) {
      const WebAsset* asset = findWebAsset(path);
      response.set_header("Cache-Control", "no-cache");
      response.set_content(std::string(asset->body),
                           std::string(asset->contentType) + "; charset=utf-8");
    });
  }
}

bool ApiServer::openStream(httplib::Response& response) {
  if (streams_.fetch_add(1) >= kMaxStreams) {
    --streams_;
    sendError(response, 503, "too many event streams are open");
    return false;
  }
  response.set_header("Cache-Control", "no-cache");
  response.set_header("X-Accel-Buffering", "no");
  return true;
}

void ApiServer::streamEvents(const httplib::Request& request, httplib::Response& response,
                             const std::string& unit) {
  EventQueue::Filter filter;
  filter.unit = unit;
  std::string unknown;
  if (!kindsOf(request, filter.kinds, unknown)) {
    return sendError(response, 400, "unknown event kind \"" + unknown + "\"", "kinds");
  }
  if (!openStream(response)) return;
  auto queue = hub_.subscribe(filter);
  struct Reader {
    std::vector<UnitEvent> batch;
    bool started = false;
    int idle = 0;
  };
  auto reader = std::make_shared<Reader>();
  // A reply's framed bytes (escaped, about five times their size) only when asked for.
  const bool withFramed = request.get_param_value("framed") == "1";
  response.set_chunked_content_provider(
      "text/event-stream",
      [this, queue, reader, withFramed](size_t, httplib::DataSink& sink) {
        if (stopping_) {
          sink.done();
          return true;
        }
        std::string out;
        if (!reader->started) {
          reader->started = true;
          out = "retry: 1000\n: connected\n\n";
        }
        // Under a flood, writes go out in batches at most every kStreamBatch, so the reader
        // costs a few system calls per interval however many events there are.
        if (!reader->batch.empty()) std::this_thread::sleep_for(kStreamBatch);
        const uint64_t lost = queue->take(reader->batch, std::chrono::milliseconds(250));
        if (lost > 0) {
          out += "event: lost\ndata: {\"lost\":" + std::to_string(lost) +
                 ",\"lost_total\":" + std::to_string(queue->lostTotal()) + "}\n\n";
        }
        for (const UnitEvent& e : reader->batch) appendFrame(out, e, withFramed);
        // A comment now and then finds a reader that has gone.
        if (out.empty() && ++reader->idle >= 4) out = ": idle\n\n";
        if (out.empty()) return true;
        reader->idle = 0;
        return sink.write(out.data(), out.size());
      },
      [this, queue](bool) {
        hub_.unsubscribe(queue);
        --streams_;
      });
}

void ApiServer::streamCards(httplib::Response& response) {
  if (!openStream(response)) return;
  auto marks = hub_.watchChanges();
  struct Reader {
    bool started = false;
    std::chrono::steady_clock::time_point last{};
    int idle = 0;
    std::set<std::string> pending;
  };
  auto reader = std::make_shared<Reader>();
  response.set_chunked_content_provider(
      "text/event-stream",
      [this, marks, reader](size_t, httplib::DataSink& sink) {
        if (stopping_) {
          sink.done();
          return true;
        }
        // Changes are gathered per unit and sent at most every kCardInterval.
        const auto due = reader->last + kCardInterval;
        if (std::chrono::steady_clock::now() < due) std::this_thread::sleep_until(due);
        // Units whose cards could not be sent yet (the units did not answer) stay pending.
        std::set<std::string>& changed = reader->pending;
        if (reader->started) changed.merge(marks->take(std::chrono::milliseconds(250)));
        std::string out;
        if (!reader->started || !changed.empty()) {
          // The first message holds every card, later ones only the changed units'.
          const auto units =
              reader->started ? registry_.snapshots(changed) : registry_.snapshotAll();
          if (units) {
            json cards = json::array();
            for (const UnitSnapshot& u : *units) cards.push_back(unitSummaryJson(u));
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            out = (reader->started ? "" : "retry: 1000\n") + std::string("event: cards\ndata: ") +
                  dumpJson({{"time_ns", std::chrono::nanoseconds(now).count()},
                            {"full", !reader->started},
                            {"cards", cards}}) +
                  "\n\n";
            reader->started = true;
            changed.clear();
          }
          reader->last = std::chrono::steady_clock::now();
        }
        if (out.empty() && ++reader->idle >= 4) out = ": idle\n\n";
        if (out.empty()) return true;
        reader->idle = 0;
        return sink.write(out.data(), out.size());
      },
      [this, marks](bool) {
        hub_.unwatch(marks);
        --streams_;
      });
}

}  // namespace vexa::api
