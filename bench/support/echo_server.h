#pragma once

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace vexa::bench {

// The round trips' baseline: a bare echo server on 127.0.0.1 built on the same socket calls as
// the endpoint, a blocking receive on a poll over the socket and an eventfd, a 40-byte reply.
class EchoServer {
 public:
  EchoServer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { run(); });
  }
  ~EchoServer() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
    thread_.join();
    ::close(fd_);
    ::close(wake_);
  }
  uint16_t port() const { return port_; }
  std::thread& thread() { return thread_; }

 private:
  void run() {
    std::vector<char> buffer(8192);
    const std::string reply(40, 'R');
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
    for (;;) {
      if (::poll(fds, 2, 1000) <= 0) continue;
      if (fds[1].revents) return;
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) continue;
      ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
    }
  }
  int fd_, wake_;
  uint16_t port_;
  std::thread thread_;
};

}  // namespace vexa::bench
