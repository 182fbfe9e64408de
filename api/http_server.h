#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "http_limits.h"
#include "http_message.h"
#include "status.h"

namespace vexa::api {

// What a server asks of the application: a quick look at each request once its headers are
// in, and its answer once it is complete.
class HttpHandler {
 public:
  virtual ~HttpHandler() = default;
  // Server thread, once the headers are in and within the server's limits: a reply answers at
  // once, and the body, if any, is not read; nothing lets the request go on. Must not block.
  virtual std::optional<HttpReply> screen(const HttpRequest& request) = 0;
  // A worker thread, once the request is complete: its answer. May block for a bounded time;
  // several run at once.
  virtual HttpReply answer(const HttpRequest& request) = 0;
};

// An event-driven HTTP/1.1 server: one thread serves every connection (an epoll loop around
// the HTTP library), so a slow or idle client costs a descriptor and a bounded buffer, never a
// thread. Complete requests are answered on a small pool of workers while their connection is
// suspended; event streams are suspended while they have nothing to send. Every limit of
// HttpLimits holds, each answered with its status and a JSON error; every answer carries the
// security headers (no framing, no sniffing, no referrer). The listening socket is the
// server's alone: a second server on the same address and port fails to start.
// start and stop belong to one controlling thread; submit may be called from any thread.
class HttpServer {
 public:
  struct Options {
    std::string host = "127.0.0.1";  // dotted IPv4
    uint16_t port = 0;               // 0: any free port
    unsigned maxConnections = 1024;  // one more is closed as soon as it is accepted
    HttpLimits limits;
  };

  HttpServer(HttpHandler& handler, Options options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and starts serving; the error names the address.
  Status start();
  // Ends the event streams, answers the requests still being worked on with 503, stops
  // listening and joins every thread. Safe to call twice, and without start.
  void stop();
  // The bound port (useful with port 0).
  uint16_t port() const;
  // Runs `work` on a worker (for streams whose text needs blocking calls); false when the
  // workers' queue is full or the server stops.
  bool submit(std::function<void()> work);

  struct Impl;  // http_server_impl.h

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace vexa::api
