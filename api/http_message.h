#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::api {

using Fields = std::vector<std::pair<std::string, std::string>>;

// One request as the server read it: the path decoded, the query's parameters decoded, the
// headers in their order, the whole body (at most HttpLimits::maxBodyBytes).
struct HttpRequest {
  std::string method;
  std::string path;
  std::string version;  // "HTTP/1.1"
  Fields query;
  Fields headers;
  std::string body;

  // The first header of that name (any letter case), or null.
  const std::string* header(std::string_view name) const;
  // The first query parameter of that name, or null.
  const std::string* param(std::string_view name) const;
};

// The text of an event stream, produced on the server's thread. The server suspends the
// connection whenever there is nothing to send and pulls again at the time the source asked for
// or when the source wakes it.
class StreamSource {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~StreamSource() = default;
  // Server thread, once, before the first pull. `wake` may be called from any thread, also
  // after close, whenever new text may be ready.
  virtual void open(std::function<void()> wake) = 0;
  // Server thread: appends the text due at `now` to `out` (maybe none) and returns when to pull
  // next if nothing wakes it first.
  virtual Clock::time_point pull(std::string& out, Clock::time_point now) = 0;
  // Server thread, once: the stream has ended (its reader went away or the server stops).
  virtual void close() = 0;
};

// An answer: a body, or an event stream (`stream` set; status 200, text/event-stream).
struct HttpReply {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  Fields headers;  // beyond Content-Type and the security headers every answer has
  std::shared_ptr<StreamSource> stream;
};

// The JSON error answer every refusal has: {"error":{"status":..,"message":..[,"field":..]}}.
HttpReply errorReply(int status, const std::string& message, const std::string& field = {});

}  // namespace vexa::api
