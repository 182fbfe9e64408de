#pragma once
// The inside of HttpServer, shared by its two sources: http_server.cpp (the loop, timers,
// start and stop) and http_exchange.cpp (the library's callbacks: requests, limits, answers,
// streams). Everything here but `done`/`finish` (under `mutex`) and `stopping` is touched only
// by the server's thread (and by stop once that thread has ended).
#include <microhttpd.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "http_server.h"
#include "worker_pool.h"

namespace vexa::api {

using Clock = std::chrono::steady_clock;

// The headers every answer carries: no framing, no type sniffing, no referrer.
extern const Fields kSecurityHeaders;

// A whole JSON error answer that closes the connection, for writing straight to a socket where
// the library cannot answer (a body past its limit, a request past its deadline).
std::string rawAnswer(const HttpReply& reply);

// One client connection.
struct HttpConnection {
  MHD_Connection* mhd = nullptr;
  int fd = -1;
  std::optional<Clock::time_point> deadline;  // while a request is awaited or read
  bool requestBegun = false;                  // a request line came since the last answer
  bool answered = false;                      // it has had an answer before
};

// One request, from its request line to the end of its answer.
struct HttpExchange {
  enum class Phase { Headers, Body, Working, Answered } phase = Phase::Headers;
  HttpConnection* connection = nullptr;
  MHD_Connection* mhd = nullptr;
  std::string uri;  // as sent, with the query
  // Where the library's copy of the request line's target begins, and its length up to the
  // first NUL: a target that runs on past a NUL is refused (see Impl::checkLimits).
  const char* rawUri = nullptr;
  size_t rawUriLength = 0;
  bool uriHeldNul = false;
  size_t headerLines = 0, headerBytes = 0;
  std::vector<std::string> contentLengths, transferEncodings;
  size_t hosts = 0;
  bool malformedField = false;  // a name that is no token, a value with a control character
  HttpRequest request;
  HttpReply reply;  // written by the worker before the exchange is handed back
};

// One open event stream.
struct HttpStream {
  struct HttpServer::Impl* server = nullptr;
  MHD_Connection* mhd = nullptr;
  std::shared_ptr<StreamSource> source;
  int fd = -1;
  std::string out;
  size_t sent = 0;
  Clock::time_point next;
  bool suspended = false;
  // Whether its reader keeps reading (see Impl::checkStreams): bytes the reader's side has
  // acknowledged, when that last grew or nothing was waiting, the next look; gone once found
  // closed or stalled, when the stream ends.
  uint64_t acknowledged = 0;
  Clock::time_point progressAt, nextCheck;
  bool gone = false;
  std::shared_ptr<std::atomic<bool>> woken = std::make_shared<std::atomic<bool>>(false);
};

struct HttpServer::Impl {
  Impl(HttpHandler& h, Options o)
      : handler(h),
        options(std::move(o)),
        workers(options.limits.workers, options.limits.workQueue) {}

  // http_server.cpp
  void loop();
  int nextTimeoutMs(Clock::time_point now);
  void setDeadline(HttpConnection& c, std::optional<Clock::time_point> when);
  void expireDeadlines(Clock::time_point now);
  void resumeStreams(Clock::time_point now);
  void checkStreams(Clock::time_point now);
  void finishing();
  void post(HttpExchange* done);  // any thread: hands an answered exchange back
  void wakeLoop();                // any thread

  // http_exchange.cpp
  MHD_Daemon* startDaemon();  // on listenFd, with every callback and limit
  MHD_Result onRequest(MHD_Connection* mhd, const char* url, const char* method,
                       const char* version, const char* upload, size_t* uploadSize, void** context);
  std::optional<HttpReply> checkLimits(HttpExchange& x) const;
  HttpReply headerLimitReply() const;
  MHD_Result sendReply(HttpExchange& x, HttpReply reply);
  MHD_Result openStream(HttpExchange& x, HttpReply reply);
  ssize_t readStream(HttpStream& s, char* buf, size_t max);
  void resume(HttpExchange& x);
  void connectionStarted(MHD_Connection* mhd, void** context);
  bool roomForOneMore();
  void connectionClosed(void** context);
  void requestCompleted(void** context);

  HttpHandler& handler;
  const Options options;
  WorkerPool workers;
  MHD_Daemon* daemon = nullptr;
  int listenFd = -1, epollFd = -1, wakeFd = -1;
  uint16_t port = 0;
  std::thread thread;
  std::atomic<bool> stopping{false};

  std::mutex mutex;
  std::vector<HttpExchange*> done;
  bool finish = false;

  // The server's thread's own.
  bool finished = false;  // streams end, new work is refused
  std::set<HttpConnection*> connections;
  std::set<std::pair<Clock::time_point, HttpConnection*>> deadlines;
  std::set<HttpExchange*> working;  // suspended while a worker answers
  std::set<HttpStream*> streams;
  Clock::time_point lastTrim{};
};

}  // namespace vexa::api
