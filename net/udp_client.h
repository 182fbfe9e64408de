#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

namespace vexa {

// A plain IPv4 datagram client: sends requests to one target and waits a bounded time for
// replies. One thread at a time.
class UdpClient {
 public:
  UdpClient();
  ~UdpClient();
  UdpClient(const UdpClient&) = delete;
  UdpClient& operator=(const UdpClient&) = delete;

  // Resolves `host` ("localhost", a dotted address or a host name); false when it cannot be.
  bool setTarget(const std::string& host, uint16_t port);
  void send(const std::string& bytes) const;
  // Sends to 127.0.0.1:port (and makes that the target).
  void send(uint16_t port, const std::string& bytes);

  // The next datagram, or nothing within `timeoutMs`; `fromPort` gets the sender's port.
  std::optional<std::string> receive(int timeoutMs = 2000, uint16_t* fromPort = nullptr) const;
  std::optional<std::string> request(uint16_t port, const std::string& bytes, int timeoutMs = 2000);
  // The next datagram from the target's address and port within `timeoutMs` in all; datagrams
  // from anywhere else cannot answer a request to the target and are dropped.
  std::optional<std::string> receiveFromTarget(int timeoutMs) const;
  // Drops every datagram waiting now (at most `limit`); returns how many.
  int discardPending(int limit = 1024) const;

 private:
  int fd_ = -1;
  sockaddr_in target_{};
};

}  // namespace vexa
