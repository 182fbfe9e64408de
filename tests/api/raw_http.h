#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace vexa::testing {

// A client connection that sends exactly the bytes a test gives, malformed or slow, and reads
// whatever comes back. Every wait is bounded (30 s) only to catch a hang.
class RawConnection {
 public:
  // `receiveBuffer`, when set, shrinks the socket's receive buffer (a reader that takes little).
  explicit RawConnection(uint16_t port, int receiveBuffer = 0)
      : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    if (receiveBuffer > 0) {
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~RawConnection() { ::close(fd_); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return connected_; }
  // False once the server has closed or reset the connection.
  bool send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // Everything received until the server closes the connection (or `limit` passes), with what
  // earlier calls read.
  std::string readToEnd(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    std::string& text = text_;
    const auto until = std::chrono::steady_clock::now() + limit;
    char buffer[16384];
    while (std::chrono::steady_clock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        closed_ = true;
        break;
      }
      text.append(buffer, static_cast<size_t>(n));
    }
    return text;
  }
  bool closed() const { return closed_; }

 private:
  int fd_;
  bool connected_ = false;
  bool closed_ = false;
  std::string text_;
};

// The status code of an answer's text ("HTTP/1.1 413 ..." -> 413); 0 when there is none.
inline int statusOf(const std::string& answer) {
  if (answer.rfind("HTTP/1.", 0) != 0 || answer.size() < 12) return 0;
  return std::stoi(answer.substr(9, 3));
}

// The body of an answer's text (after its headers).
inline std::string bodyOf(const std::string& answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// Sends `request` on a new connection and reads the answer until the server closes it.
inline std::string exchange(uint16_t port, const std::string& request) {
  RawConnection c(port);
  c.send(request);
  return c.readToEnd();
}

}  // namespace vexa::testing
