#include <arpa/inet.h>
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "http_server_impl.h"

namespace vexa::api {

namespace {

int millisecondsUntil(Clock::time_point when, Clock::time_point now) {
  if (when <= now) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
  return static_cast<int>(std::min<int64_t>(ms, 1000));
}

}  // namespace

const Fields kSecurityHeaders = {{"Content-Security-Policy", "frame-ancestors 'none'"},
                                 {"X-Frame-Options", "DENY"},
                                 {"X-Content-Type-Options", "nosniff"},
                                 {"Referrer-Policy", "no-referrer"}};

std::string rawAnswer(const HttpReply& reply) {
  const char* reason = MHD_get_reason_phrase_for(static_cast<unsigned>(reply.status));
  std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " " + reason +
                     "\r\nContent-Type: " + reply.contentType +
                     "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                     "\r\nConnection: close\r\n";
  for (const auto& [name, value] : reply.headers) {
    if (strcasecmp(name.c_str(), "Connection") != 0) text += name + ": " + value + "\r\n";
  }
  for (const auto& [name, value] : kSecurityHeaders) text += name + ": " + value + "\r\n";
  return text + "\r\n" + reply.body;
}

HttpServer::HttpServer(HttpHandler& handler, Options options)
    : impl_(std::make_unique<Impl>(handler, std::move(options))) {}

HttpServer::~HttpServer() {
  stop();
}

uint16_t HttpServer::port() const {
  return impl_->port;
}

bool HttpServer::submit(std::function<void()> work) {
  return impl_->workers.submit(std::move(work));
}

Status HttpServer::start() {
  Impl& s = *impl_;
  const std::string where = s.options.host + ":" + std::to_string(s.options.port);
  auto fail = [&](const std::string& what) {
    const std::string text = "cannot listen on " + where + ": " + what;
    if (s.listenFd >= 0) ::close(s.listenFd);
    s.listenFd = -1;
    return Status::Error(text);
  };
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(s.options.port);
  if (::inet_pton(AF_INET, s.options.host.c_str(), &address.sin_addr) != 1) {
    return fail("not an IPv4 address");
  }
  s.listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s.listenFd < 0) return fail(std::strerror(errno));
  // SO_REUSEADDR only lets a restart bind over connections in TIME_WAIT; on Linux it never lets
  // a second socket bind while one listens (SO_REUSEPORT would, and is not set).
  const int on = 1;
  ::setsockopt(s.listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(s.listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s.listenFd, 128) != 0) {
    return fail(std::strerror(errno));
  }
  socklen_t length = sizeof address;
  ::getsockname(s.listenFd, reinterpret_cast<sockaddr*>(&address), &length);
  s.port = ntohs(address.sin_port);

  s.daemon = s.startDaemon();
  if (!s.daemon) return fail("the HTTP server did not start");
  // The library closes the listening socket from now on.
  s.listenFd = -1;
  s.wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  s.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
  const MHD_DaemonInfo* info = MHD_get_daemon_info(s.daemon, MHD_DAEMON_INFO_EPOLL_FD);
  for (const int fd : {info ? info->epoll_fd : -1, s.wakeFd}) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (fd < 0 || s.epollFd < 0 || ::epoll_ctl(s.epollFd, EPOLL_CTL_ADD, fd, &event) != 0) {
      const std::string why = std::strerror(errno);
      stop();
      return Status::Error("cannot serve on " + where + ": " + why);
    }
  }
  s.workers.start();
  s.thread = std::thread([&s] { s.loop(); });
  return Status::Ok();
}

void HttpServer::stop() {
  Impl& s = *impl_;
  s.stopping = true;
  // Work in progress finishes (the units' calls are bounded); work not started is dropped and
  // its requests answered 503 by the loop as it finishes.
  s.workers.stop();
  if (s.thread.joinable()) {
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      s.finish = true;
    }
    s.wakeLoop();
    s.thread.join();
  }
  if (s.daemon) MHD_stop_daemon(s.daemon);  // closes every connection, ends every stream
  s.daemon = nullptr;
  for (int* fd : {&s.epollFd, &s.wakeFd, &s.listenFd}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

void HttpServer::Impl::wakeLoop() {
  if (wakeFd >= 0) ::eventfd_write(wakeFd, 1);
}

void HttpServer::Impl::post(HttpExchange* answered) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    done.push_back(answered);
  }
  wakeLoop();
}

// Wait for the nearest of: the library's sockets and timeouts, a worker's answer or a stream's
// wake-up, a request's deadline, a stream's next pull. Then dispatch, then run due timers.
void HttpServer::Impl::loop() {
  epoll_event events[4];
  for (;;) {
    const int timeout = nextTimeoutMs(Clock::now());
    if (::epoll_wait(epollFd, events, 4, timeout) < 0 && errno != EINTR) break;
    eventfd_t ignored;
    ::eventfd_read(wakeFd, &ignored);
    std::vector<HttpExchange*> answered;
    bool finishNow = false;
    {
      std::lock_guard<std::mutex> lock(mutex);
      answered.swap(done);
      finishNow = finish;
    }
    for (HttpExchange* x : answered) resume(*x);
    checkStreams(Clock::now());
    resumeStreams(Clock::now());
    MHD_run(daemon);
    expireDeadlines(Clock::now());
    if (finishNow) return finishing();
  }
}

// -1 (wait for a socket or a wake-up) when nothing is due: an idle server sleeps.
int HttpServer::Impl::nextTimeoutMs(Clock::time_point now) {
  int timeout = -1;
  auto consider = [&timeout](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
  MHD_UNSIGNED_LONG_LONG library = 0;
  if (MHD_get_timeout(daemon, &library) == MHD_YES) {
    consider(static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(library, 1000)));
  }
  if (!deadlines.empty()) consider(millisecondsUntil(deadlines.begin()->first, now));
  for (const HttpStream* s : streams) {
    if (s->suspended) consider(millisecondsUntil(s->next, now));
    consider(millisecondsUntil(s->nextCheck, now));
  }
  return timeout;
}

void HttpServer::Impl::setDeadline(HttpConnection& c, std::optional<Clock::time_point> when) {
  if (c.deadline) deadlines.erase({*c.deadline, &c});
  c.deadline = when;
  if (when) deadlines.insert({*when, &c});
}

// A connection past its deadline is shut down; the library then sees it closed and frees it.
void HttpServer::Impl::expireDeadlines(Clock::time_point now) {
  static const std::string answer =
      rawAnswer(errorReply(408, "the request did not arrive in time"));
  while (!deadlines.empty() && deadlines.begin()->first <= now) {
    HttpConnection& c = *deadlines.begin()->second;
    setDeadline(c, std::nullopt);
    // An idle kept-alive connection is closed silently: a 408 there would be read as the
    // answer to the client's next request.
    if (c.requestBegun || !c.answered) {
      [[maybe_unused]] const ssize_t n =
          ::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    ::shutdown(c.fd, SHUT_RDWR);
  }
}

// Once a second, each stream's reader is looked at: one that closed its end (or only its
// sending half, which no event stream reader needs), or one whose side has acknowledged nothing
// for the idle time while bytes wait in the kernel for it (a reader that stopped reading, whose
// window is shut; the heartbeat alone would never fill the buffer for the library to notice),
// has its stream ended and its slot freed.
void HttpServer::Impl::checkStreams(Clock::time_point now) {
  for (HttpStream* s : streams) {
    if (s->gone || s->fd < 0 || s->nextCheck > now) continue;
    s->nextCheck = now + std::chrono::seconds(1);
    pollfd p{s->fd, POLLRDHUP, 0};
    const bool closed = ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
    int unsent = 0;
    tcp_info info{};
    socklen_t size = sizeof info;
    const bool known = ::ioctl(s->fd, SIOCOUTQ, &unsent) == 0 &&
                       ::getsockopt(s->fd, IPPROTO_TCP, TCP_INFO, &info, &size) == 0;
    if (!known || unsent == 0 || info.tcpi_bytes_acked != s->acknowledged) {
      s->acknowledged = info.tcpi_bytes_acked;
      s->progressAt = now;
    }
    if (!closed && now - s->progressAt < options.limits.idleTimeout) continue;
    // The library sees the socket shut at its next write, which readStream makes at once.
    s->gone = true;
    ::shutdown(s->fd, SHUT_RDWR);
  }
}

void HttpServer::Impl::resumeStreams(Clock::time_point now) {
  for (HttpStream* s : streams) {
    if (s->suspended && (finished || s->gone || s->woken->load() || s->next <= now)) {
      s->suspended = false;
      MHD_resume_connection(s->mhd);
    }
  }
}

// The server stops: streams end, requests still being worked on are answered 503, and the
// library gets a short, bounded time to send what is queued before the connections close.
void HttpServer::Impl::finishing() {
  finished = true;
  std::vector<HttpExchange*> answered;
  {
    std::lock_guard<std::mutex> lock(mutex);
    answered.swap(done);
  }
  for (HttpExchange* x : answered) resume(*x);
  // The workers have stopped: what is still working was dropped.
  for (HttpExchange* x : std::vector<HttpExchange*>(working.begin(), working.end())) {
    x->reply = errorReply(503, "the server is stopping");
    resume(*x);
  }
  const auto until = Clock::now() + std::chrono::milliseconds(200);
  epoll_event events[4];
  do {
    resumeStreams(Clock::now());
    MHD_run(daemon);
    if (streams.empty() && working.empty()) break;
    ::epoll_wait(epollFd, events, 4, 10);
  } while (Clock::now() < until);
  // Nothing may stay suspended when the library stops.
  resumeStreams(Clock::now());
  MHD_run(daemon);
}

// Below the cap, or at it with some connections whose clients have closed them: the library
// accepts before it reads, so a client that closes and comes back at once would otherwise be
// refused for a connection the server has not yet seen go. Only at the cap are the sockets
// looked at.
bool HttpServer::Impl::roomForOneMore() {
  if (connections.size() < options.maxConnections) return true;
  std::vector<pollfd> fds;
  fds.reserve(connections.size());
  for (const HttpConnection* c : connections) fds.push_back({c->fd, POLLRDHUP, 0});
  if (::poll(fds.data(), fds.size(), 0) <= 0) return false;
  const auto gone = std::count_if(fds.begin(), fds.end(), [](const pollfd& p) {
    return (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
  });
  return connections.size() - static_cast<size_t>(gone) < options.maxConnections;
}

void HttpServer::Impl::connectionStarted(MHD_Connection* mhd, void** context) {
  auto* c = new HttpConnection;
  c->mhd = mhd;
  const MHD_ConnectionInfo* info = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_CONNECTION_FD);
  c->fd = info ? info->connect_fd : -1;
  *context = c;
  connections.insert(c);
  setDeadline(*c, Clock::now() + options.limits.requestDeadline);
}

void HttpServer::Impl::connectionClosed(void** context) {
  auto* c = static_cast<HttpConnection*>(*context);
  if (!c) return;
  setDeadline(*c, std::nullopt);
  connections.erase(c);
  delete c;
  *context = nullptr;
  // Give the memory of a burst back to the system once the clients are gone (at most once a
  // second): request bodies and answers come from the heap, which keeps freed pages otherwise.
  const Clock::time_point now = Clock::now();
  if (connections.empty() && now - lastTrim > std::chrono::seconds(1)) {
    lastTrim = now;
    ::malloc_trim(0);
  }
}

}  // namespace vexa::api
