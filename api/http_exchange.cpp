// The HTTP library's callbacks of HttpServer: a request from its headers to its answer, the
// server's limits, the answers with their headers, and the event streams. Server thread.
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "http_server_impl.h"
#include "request_policy.h"

namespace vexa::api {

namespace {

using Impl = HttpServer::Impl;

// The answer's type, its own headers and the security headers; a page's own (stricter)
// Content-Security-Policy replaces the default one.
void addHeaders(MHD_Response* response, const HttpReply& reply, const std::string& contentType) {
  MHD_add_response_header(response, "Content-Type", contentType.c_str());
  bool policy = false;
  for (const auto& [name, value] : reply.headers) {
    MHD_add_response_header(response, name.c_str(), value.c_str());
    policy = policy || strcasecmp(name.c_str(), "Content-Security-Policy") == 0;
  }
  for (const auto& [name, value] : kSecurityHeaders) {
    if (policy && name == "Content-Security-Policy") continue;
    MHD_add_response_header(response, name.c_str(), value.c_str());
  }
}

MHD_Result addField(void* cls, MHD_ValueKind, const char* key, const char* value) {
  auto* x = static_cast<HttpExchange*>(cls);
  const std::string name = key ? key : "";
  const std::string text = value ? value : "";
  ++x->headerLines;
  x->headerBytes += name.size() + text.size() + 4;  // "name: value\r\n"
  // As many as the connection's buffer held (a few thousand at most).
  if (strcasecmp(name.c_str(), "Content-Length") == 0) x->contentLengths.push_back(text);
  if (strcasecmp(name.c_str(), "Transfer-Encoding") == 0) x->transferEncodings.push_back(text);
  if (strcasecmp(name.c_str(), "Host") == 0) ++x->hosts;
  // The library keeps a space before the colon in the name ("Transfer-Encoding ") and ends a
  // line at a bare CR; a name or value that is not clean is one another parser may read apart.
  if (!validFieldName(name) || !validFieldValue(text)) x->malformedField = true;
  x->request.headers.emplace_back(name, text);
  return MHD_YES;
}

// Trailers count against the header limits.
MHD_Result countTrailer(void* cls, MHD_ValueKind, const char* key, const char* value) {
  auto* x = static_cast<HttpExchange*>(cls);
  ++x->headerLines;
  x->headerBytes += (key ? std::strlen(key) : 0) + (value ? std::strlen(value) : 0) + 4;
  return MHD_YES;
}

MHD_Result addParameter(void* cls, MHD_ValueKind, const char* key, const char* value) {
  static_cast<HttpExchange*>(cls)->request.query.emplace_back(key ? key : "", value ? value : "");
  return MHD_YES;
}

// A refusal after which nothing more is read from the connection.
HttpReply closing(HttpReply reply) {
  reply.headers.emplace_back("Connection", "close");
  return reply;
}

HttpConnection* connectionOf(MHD_Connection* mhd) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info ? static_cast<HttpConnection*>(info->socket_context) : nullptr;
}

// Trampolines from the library's C callbacks to the server (cls).
MHD_Result acceptPolicy(void* cls, const sockaddr*, socklen_t) {
  Impl& s = *static_cast<Impl*>(cls);
  return !s.finished && s.roomForOneMore() ? MHD_YES : MHD_NO;
}

MHD_Result access(void* cls, MHD_Connection* mhd, const char* url, const char* method,
                  const char* version, const char* upload, size_t* uploadSize, void** context) {
  return static_cast<Impl*>(cls)->onRequest(mhd, url, method, version, upload, uploadSize, context);
}

void* uriLog(void*, const char* uri, MHD_Connection* mhd) {
  auto* x = new HttpExchange;
  x->uri = uri ? uri : "";
  x->rawUri = uri;
  x->rawUriLength = x->uri.size();
  x->mhd = mhd;
  x->connection = connectionOf(mhd);
  if (x->connection) x->connection->requestBegun = true;
  return x;
}

void completed(void* cls, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
  static_cast<Impl*>(cls)->requestCompleted(context);
}

void notifyConnection(void* cls, MHD_Connection* mhd, void** context,
                      MHD_ConnectionNotificationCode code) {
  Impl& s = *static_cast<Impl*>(cls);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) s.connectionStarted(mhd, context);
  if (code == MHD_CONNECTION_NOTIFY_CLOSED) s.connectionClosed(context);
}

ssize_t streamReader(void* cls, uint64_t, char* buf, size_t max) {
  auto* stream = static_cast<HttpStream*>(cls);
  return stream->server->readStream(*stream, buf, max);
}

void streamFreed(void* cls) {
  auto* stream = static_cast<HttpStream*>(cls);
  stream->source->close();
  stream->server->streams.erase(stream);
  delete stream;
}

}  // namespace

MHD_Daemon* Impl::startDaemon() {
  const HttpLimits& l = options.limits;
  // The library counts idle time in whole seconds from the second of the last activity, so it
  // may close a connection up to a second early: one second more keeps a request's deadline of
  // the same length first, which answers 408 where the library would close without a word.
  const auto idleSeconds = static_cast<unsigned>(
      std::max(l.idleTimeout, std::chrono::ceil<std::chrono::seconds>(l.requestDeadline)).count() +
      1);
  // The library's own cap sits above ours, so it never stops accepting (which would leave new
  // connections waiting in the backlog); ours refuses them at once in acceptPolicy.
  return MHD_start_daemon(
      MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME, 0, &acceptPolicy, this, &access, this,
      MHD_OPTION_LISTEN_SOCKET, listenFd, MHD_OPTION_CONNECTION_MEMORY_LIMIT, l.connectionMemory,
      MHD_OPTION_CONNECTION_LIMIT, options.maxConnections + 8, MHD_OPTION_CONNECTION_TIMEOUT,
      idleSeconds, MHD_OPTION_NOTIFY_COMPLETED, &completed, this, MHD_OPTION_NOTIFY_CONNECTION,
      &notifyConnection, this, MHD_OPTION_URI_LOG_CALLBACK, &uriLog, this, MHD_OPTION_END);
}

MHD_Result Impl::onRequest(MHD_Connection* mhd, const char* url, const char* method,
                           const char* version, const char* upload, size_t* uploadSize,
                           void** context) {
  auto* x = static_cast<HttpExchange*>(*context);
  if (!x) *context = x = static_cast<HttpExchange*>(uriLog(nullptr, url, mhd));
  switch (x->phase) {
    case HttpExchange::Phase::Headers: {
      x->request.method = method;
      x->request.path = url;
      x->request.version = version;
      // The library hands the target on as a C string, so "GET /a\0/b HTTP/1.1" would be served
      // as /a. Its request line is parsed in place: the version follows the target and one
      // space, so a target whose C string ends early held a NUL. (Only where the version lies
      // just beyond, within a request line's length: otherwise nothing is concluded.)
      const auto at = [](const char* p) { return reinterpret_cast<uintptr_t>(p); };
      if (x->rawUri && version && *version && at(version) > at(x->rawUri) &&
          at(version) - at(x->rawUri) <= options.limits.maxRequestLine + 1) {
        x->uriHeldNul = at(version) - at(x->rawUri) != x->rawUriLength + 1;
      }
      MHD_get_connection_values(mhd, MHD_HEADER_KIND, &addField, x);
      MHD_get_connection_values(mhd, MHD_GET_ARGUMENT_KIND, &addParameter, x);
      if (std::optional<HttpReply> refused = checkLimits(*x)) return sendReply(*x, *refused);
      if (std::optional<HttpReply> early = handler.screen(x->request)) {
        return sendReply(*x, std::move(*early));
      }
      x->phase = HttpExchange::Phase::Body;
      return MHD_YES;
    }
    case HttpExchange::Phase::Body: {
      if (*uploadSize > 0) {
        // Counted as it arrives. The library cannot answer in the middle of a body, so past the
        // limit the 413 is written straight to the socket and the connection closed.
        if (x->request.body.size() + *uploadSize > options.limits.maxBodyBytes) {
          const std::string answer = rawAnswer(
              errorReply(413, "the body is larger than " +
                                  std::to_string(options.limits.maxBodyBytes / 1024) + " KiB"));
          if (x->connection) {
            [[maybe_unused]] const ssize_t n = ::send(x->connection->fd, answer.data(),
                                                      answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::shutdown(x->connection->fd, SHUT_WR);
          }
          return MHD_NO;
        }
        x->request.body.append(upload, *uploadSize);
        *uploadSize = 0;
        return MHD_YES;
      }
      MHD_get_connection_values(mhd, MHD_FOOTER_KIND, &countTrailer, x);
      if (x->headerLines > options.limits.maxHeaderLines ||
          x->headerBytes > options.limits.maxHeaderBytes) {
        return sendReply(*x, headerLimitReply());
      }
      if (x->connection) setDeadline(*x->connection, std::nullopt);
      x->phase = HttpExchange::Phase::Working;
      const bool queued = !finished && workers.submit([this, x] {
        x->reply = handler.answer(x->request);
        post(x);
      });
      if (!queued) return sendReply(*x, errorReply(503, "the server is busy; try again"));
      working.insert(x);
      MHD_suspend_connection(mhd);
      return MHD_YES;
    }
    case HttpExchange::Phase::Working:
      return sendReply(*x, std::move(x->reply));
    case HttpExchange::Phase::Answered:
      break;
  }
  return MHD_YES;
}

void Impl::resume(HttpExchange& x) {
  if (working.erase(&x) == 0) return;
  MHD_resume_connection(x.mhd);
}

HttpReply Impl::headerLimitReply() const {
  const HttpLimits& l = options.limits;
  return closing(errorReply(431, "more than " + std::to_string(l.maxHeaderLines) +
                                     " header lines or " + std::to_string(l.maxHeaderBytes) +
                                     " bytes of headers (trailers included)"));
}

std::optional<HttpReply> Impl::checkLimits(HttpExchange& x) const {
  const HttpLimits& l = options.limits;
  const HttpRequest& r = x.request;
  if (r.method.size() + x.uri.size() + r.version.size() + 2 > l.maxRequestLine) {
    return errorReply(
        414, "the request line is longer than " + std::to_string(l.maxRequestLine) + " bytes");
  }
  if (x.headerLines > l.maxHeaderLines || x.headerBytes > l.maxHeaderBytes) {
    return headerLimitReply();
  }
  // Framing two parsers could read two ways is refused, and the connection closed. The library
  // decodes "%00" into the C string it hands on, which cuts the path short like a raw NUL.
  if (x.uriHeldNul || x.uri.find("%00") != std::string::npos) {
    return closing(errorReply(400, "the request target holds a NUL"));
  }
  if (x.malformedField) {
    return closing(errorReply(400, "a header name or value holds a character it may not"));
  }
  if (x.hosts > 1) return closing(errorReply(400, "more than one Host header"));
  const std::vector<std::string_view> codings(x.transferEncodings.begin(),
                                              x.transferEncodings.end());
  if (const std::optional<int> refusal = transferCodingRefusal(codings, r.version)) {
    return closing(errorReply(*refusal, *refusal == 501 ? "the transfer coding is not supported"
                                                        : "the Transfer-Encoding is not one "
                                                          "\"chunked\" on HTTP/1.1"));
  }
  const bool chunked = !codings.empty();
  std::vector<std::string_view> lengths(x.contentLengths.begin(), x.contentLengths.end());
  const std::optional<uint64_t> length = contentLengthOf(lengths);
  if (!lengths.empty() && (!length || chunked)) {
    return closing(errorReply(400, "the Content-Length is not one valid length"));
  }
  const bool body = chunked || (length && *length > 0);
  if (body && (r.method == "GET" || r.method == "HEAD" || r.method == "DELETE")) {
    return errorReply(400, "a " + r.method + " request has no body");
  }
  if (length && *length > l.maxBodyBytes) {
    return errorReply(413,
                      "the body is larger than " + std::to_string(l.maxBodyBytes / 1024) + " KiB");
  }
  return std::nullopt;
}

MHD_Result Impl::sendReply(HttpExchange& x, HttpReply reply) {
  x.phase = HttpExchange::Phase::Answered;
  if (x.connection) {
    setDeadline(*x.connection, std::nullopt);  // the answer's time is the idle timeout's
    x.connection->answered = true;
  }
  if (reply.stream) return openStream(x, std::move(reply));
  MHD_Response* response =
      MHD_create_response_from_buffer(reply.body.size(), reply.body.data(), MHD_RESPMEM_MUST_COPY);
  if (!response) return MHD_NO;
  addHeaders(response, reply, reply.contentType);
  const MHD_Result queued =
      MHD_queue_response(x.mhd, static_cast<unsigned>(reply.status), response);
  MHD_destroy_response(response);
  return queued;
}

MHD_Result Impl::openStream(HttpExchange& x, HttpReply reply) {
  if (finished) return sendReply(x, errorReply(503, "the server is stopping"));
  if (streams.size() >= static_cast<size_t>(options.limits.maxStreams)) {
    return sendReply(x, errorReply(503, "too many event streams are open"));
  }
  auto* stream = new HttpStream;
  stream->server = this;
  stream->mhd = x.mhd;
  stream->source = std::move(reply.stream);
  stream->fd = x.connection ? x.connection->fd : -1;
  stream->next = stream->progressAt = stream->nextCheck = Clock::now();
  MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 16 * 1024,
                                                             &streamReader, stream, &streamFreed);
  if (!response) {
    delete stream;
    return MHD_NO;
  }
  streams.insert(stream);
  const int fd = wakeFd;
  stream->source->open([woken = stream->woken, fd] {
    if (!woken->exchange(true)) ::eventfd_write(fd, 1);
  });
  reply.headers.emplace_back("Cache-Control", "no-cache");
  reply.headers.emplace_back("X-Accel-Buffering", "no");
  addHeaders(response, reply, "text/event-stream");
  const MHD_Result queued = MHD_queue_response(x.mhd, MHD_HTTP_OK, response);
  MHD_destroy_response(response);  // streamFreed runs once the library is done with it
  return queued;
}

// What a stream sends when the library can write: the rest of its text, else what its source
// has now; with nothing, the connection sleeps until the source's next time or its wake-up.
ssize_t Impl::readStream(HttpStream& s, char* buf, size_t max) {
  if (s.gone) return MHD_CONTENT_READER_END_WITH_ERROR;
  if (finished) return MHD_CONTENT_READER_END_OF_STREAM;
  if (s.sent == s.out.size()) {
    s.out.clear();
    s.sent = 0;
    const Clock::time_point now = Clock::now();
    s.woken->store(false);
    // At least a millisecond ahead, so a source with nothing to say never spins the loop.
    s.next = std::max(s.source->pull(s.out, now), now + std::chrono::milliseconds(1));
  }
  if (s.sent < s.out.size()) {
    const size_t n = std::min(max, s.out.size() - s.sent);
    std::memcpy(buf, s.out.data() + s.sent, n);
    s.sent += n;
    return static_cast<ssize_t>(n);
  }
  s.suspended = true;
  MHD_suspend_connection(s.mhd);
  return 0;
}

void Impl::requestCompleted(void** context) {
  auto* x = static_cast<HttpExchange*>(*context);
  *context = nullptr;
  if (!x) return;
  if (HttpConnection* c = x->connection) {
    c->requestBegun = false;
    // The next request (kept alive) has its own time, from the end of this answer.
    if (!stopping) setDeadline(*c, Clock::now() + options.limits.requestDeadline);
  }
  working.erase(x);
  delete x;
}

}  // namespace vexa::api
