#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::testing {

// One HTTP answer as it came over the wire.
struct HttpAnswer {
  int status = 0;
  std::string head;  // status line and headers, up to the blank line
  std::string body;  // by Content-Length or chunked; for an event stream what came with the head

  // The value of the first header `name` (any case), or nothing.
  std::optional<std::string> header(std::string_view name) const {
    size_t at = head.find("\r\n");
    while (at != std::string::npos && at + 2 < head.size()) {
      const size_t start = at + 2;
      const size_t end = head.find("\r\n", start);
      const std::string line = head.substr(start, end - start);
      const size_t colon = line.find(':');
      if (colon == name.size() && equalNoCase(std::string_view(line).substr(0, colon), name)) {
        size_t v = colon + 1;
        while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
        return line.substr(v);
      }
      at = end;
    }
    return std::nullopt;
  }
  bool has(std::string_view name) const { return header(name).has_value(); }

  static bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
      if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
  }
};

// A TCP connection to 127.0.0.1 driven byte by byte, as a hostile or careless client would:
// nothing is added to what the test sends. Every wait is bounded (30 s unless told) so a server
// that hangs fails the test instead of stalling it.
class RawHttp {
 public:
  static constexpr int kHangMs = 30000;

  explicit RawHttp(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) close();
  }
  ~RawHttp() { close(); }
  RawHttp(RawHttp&& other) noexcept
      : fd_(std::exchange(other.fd_, -1)), buffered_(std::move(other.buffered_)) {}
  RawHttp(const RawHttp&) = delete;
  RawHttp& operator=(const RawHttp&) = delete;

  bool connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // Sends every byte; false once the server has closed or reset the connection.
  bool send(std::string_view bytes) {
    while (!bytes.empty() && fd_ >= 0) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return fd_ >= 0;
  }

  // Sends what the socket takes within `timeoutMs` without blocking longer; the bytes taken, or
  // -1 once the connection is closed or reset.
  long sendSome(std::string_view bytes, int timeoutMs) {
    pollfd p{fd_, POLLOUT, 0};
    if (fd_ < 0 || ::poll(&p, 1, timeoutMs) < 0) return -1;
    if (p.revents & (POLLERR | POLLHUP)) return -1;
    if (!(p.revents & POLLOUT)) return 0;
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EINTR ? 0 : -1;
    return n;
  }

  // True when the server has sent something (or closed) that the test has not read yet.
  bool readable(int timeoutMs = 0) const {
    if (!buffered_.empty()) return true;
    pollfd p{fd_, POLLIN, 0};
    return fd_ >= 0 && ::poll(&p, 1, timeoutMs) > 0;
  }

  // Reads one answer; nothing when the connection ended first or `timeoutMs` passed.
  std::optional<HttpAnswer> read(int timeoutMs = kHangMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t end;
    while ((end = buffered_.find("\r\n\r\n")) == std::string::npos) {
      if (!fill(deadline)) return std::nullopt;
    }
    HttpAnswer answer;
    answer.head = buffered_.substr(0, end + 2);
    buffered_.erase(0, end + 4);
    if (answer.head.rfind("HTTP/1.", 0) != 0 || answer.head.size() < 12) return std::nullopt;
    answer.status = std::atoi(answer.head.c_str() + 9);
    const auto length = answer.header("Content-Length");
    const auto type = answer.header("Content-Type");
    if (answer.status == 204 || answer.status == 304 || answer.status < 200) return answer;
    if (length) {
      const size_t n = std::stoul(*length);
      while (buffered_.size() < n) {
        if (!fill(deadline)) return std::nullopt;
      }
      answer.body = buffered_.substr(0, n);
      buffered_.erase(0, n);
    } else if (answer.header("Transfer-Encoding").value_or("").find("chunked") !=
               std::string::npos) {
      if (type && type->find("text/event-stream") != std::string::npos) {
        answer.body = std::exchange(buffered_, {});
        return answer;
      }
      for (;;) {
        size_t line;
        while ((line = buffered_.find("\r\n")) == std::string::npos) {
          if (!fill(deadline)) return std::nullopt;
        }
        const size_t size = std::stoul(buffered_.substr(0, line), nullptr, 16);
        while (buffered_.size() < line + 2 + size + 2) {
          if (!fill(deadline)) return std::nullopt;
        }
        answer.body += buffered_.substr(line + 2, size);
        buffered_.erase(0, line + 2 + size + 2);
        if (size == 0) break;
      }
    } else if (type && type->find("text/event-stream") != std::string::npos) {
      answer.body = std::exchange(buffered_, {});
    } else {
      while (fill(deadline)) {
      }
      answer.body = std::exchange(buffered_, {});
    }
    return answer;
  }

  // Reads more of an open stream into `text` until it holds `what`; false on an end or timeout.
  bool readUntil(std::string& text, std::string_view what, int timeoutMs = kHangMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    text += std::exchange(buffered_, {});
    while (text.find(what) == std::string::npos) {
      if (!fill(deadline)) return false;
      text += std::exchange(buffered_, {});
    }
    return true;
  }

  // Waits until the server ends the connection (end of stream or reset), reading and dropping
  // whatever it sends before; false when it is still open after `timeoutMs`.
  bool waitClosedByServer(int timeoutMs = kHangMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
      const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            deadline - std::chrono::steady_clock::now())
                                            .count());
      if (left <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, left) <= 0) continue;
      char scratch[4096];
      const ssize_t n = ::recv(fd_, scratch, sizeof scratch, 0);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
      if (n > 0) closingText_.append(scratch, static_cast<size_t>(std::min<ssize_t>(n, 256)));
    }
    return true;
  }
  // What the server sent before it ended the connection (its first bytes), e.g. a 408.
  const std::string& closingText() const { return closingText_; }
  // Bytes read past the last answer, not yet taken by `read`.
  const std::string& leftover() const { return buffered_; }

 private:
  bool fill(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
      const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            deadline - std::chrono::steady_clock::now())
                                            .count());
      if (fd_ < 0 || left <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      const int ready = ::poll(&p, 1, left);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return false;
      char chunk[16384];
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      buffered_.append(chunk, static_cast<size_t>(n));
      return true;
    }
  }

  int fd_;
  std::string buffered_;
  std::string closingText_;
};

// Sends `request` on a connection of its own and reads the answer.
inline std::optional<HttpAnswer> exchange(uint16_t port, std::string_view request,
                                          int timeoutMs = RawHttp::kHangMs) {
  RawHttp connection(port);
  if (!connection.send(request)) return std::nullopt;
  return connection.read(timeoutMs);
}

// A well-formed request from a page of the server's own origin: Host names it, a body goes as
// JSON, and the connection closes after the answer.
inline std::string httpRequest(uint16_t port, std::string_view method, std::string_view path,
                               std::string_view body = {}, std::string_view extraHeaders = {}) {
  std::string r = std::string(method) + " " + std::string(path) +
                  " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                  "\r\nConnection: close\r\n";
  if (!body.empty() || method == "PATCH" || method == "POST") {
    r +=
        "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  }
  r += std::string(extraHeaders);
  r += "\r\n";
  r += body;
  return r;
}

}  // namespace vexa::testing
