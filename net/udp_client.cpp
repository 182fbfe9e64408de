#include "udp_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace vexa {

UdpClient::UdpClient() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  target_.sin_family = AF_INET;
  target_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
}

UdpClient::~UdpClient() {
  if (fd_ >= 0) ::close(fd_);
}

bool UdpClient::setTarget(const std::string& host, uint16_t port) {
  target_.sin_port = htons(port);
  if (host == "localhost" || host == "LOCALHOST") {
    target_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return true;
  }
  if (inet_pton(AF_INET, host.c_str(), &target_.sin_addr) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  target_.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

void UdpClient::send(const std::string& bytes) const {
  ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&target_),
           sizeof target_);
}

void UdpClient::send(uint16_t port, const std::string& bytes) {
  target_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  target_.sin_port = htons(port);
  send(bytes);
}

std::optional<std::string> UdpClient::receive(int timeoutMs, uint16_t* fromPort) const {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
  std::string buffer(65536, '\0');
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t n =
      ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
  if (n < 0) return std::nullopt;
  if (fromPort) *fromPort = ntohs(from.sin_port);
  buffer.resize(static_cast<size_t>(n));
  return buffer;
}

std::optional<std::string> UdpClient::receiveFromTarget(int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string buffer(65536, '\0');
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd p{fd_, POLLIN, 0};
    if (left < 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) continue;
    if (from.sin_addr.s_addr != target_.sin_addr.s_addr || from.sin_port != target_.sin_port) {
      continue;
    }
    buffer.resize(static_cast<size_t>(n));
    return buffer;
  }
}

int UdpClient::discardPending(int limit) const {
  char byte = 0;
  int dropped = 0;
  while (dropped < limit && ::recv(fd_, &byte, 1, MSG_DONTWAIT) >= 0) ++dropped;
  return dropped;
}

std::optional<std::string> UdpClient::request(uint16_t port, const std::string& bytes,
                                              int timeoutMs) {
  send(port, bytes);
  return receive(timeoutMs);
}

}  // namespace vexa
