#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>

#include "status.h"

namespace vexa {

// The sender of the datagram being handled.
struct Binding {
  std::string senderAddress;  // dotted IPv4, no leading zeros
  uint16_t senderPort = 0;
};

// The error of a failed bind: the port in use, or the platform's number and text.
Status bindFailure(int error);

// One IPv4 datagram socket on a local port, with one listener thread that receives datagrams
// one at a time and calls the read handler on that thread; replies leave from the same socket.
// `setActive`, `Active` and the destructor are for one controlling thread (the GUI thread);
// `Send` may be called from any thread (the read handler, a delayed-reply thread) and fails
// once the endpoint is off. Never call `setActive` from inside the read handler.
class UdpEndpoint {
 public:
  static constexpr uint16_t kDefaultPort = 5010;
  static constexpr size_t BufferSize = 8192;

  using ReadHandler = std::function<void(UdpEndpoint&, std::string_view data, const Binding&)>;

  explicit UdpEndpoint(uint16_t port = kDefaultPort, std::string bindAddress = "0.0.0.0");
  ~UdpEndpoint();
  UdpEndpoint(const UdpEndpoint&) = delete;
  UdpEndpoint& operator=(const UdpEndpoint&) = delete;

  // Set before activation; called for every datagram, including empty ones.
  void setOnUDPRead(ReadHandler handler) { onUDPRead_ = std::move(handler); }

  // Switches the endpoint on (bind, listener started) or off (listener woken and joined after
  // a handler in progress has finished, then the socket closed). Setting the current value
  // does nothing. An activation error leaves the endpoint inactive.
  Status setActive(bool active);
  bool Active() const { return active_.load(); }

  // Sends `bytes` as one datagram to host:port from the endpoint's socket.
  Status Send(const std::string& host, uint16_t port, std::string_view bytes);

  uint16_t DefaultPort() const { return port_; }
  // The port actually bound (useful when constructed with port 0).
  uint16_t boundPort() const { return boundPort_.load(); }

 private:
  Status activate();
  void deactivate();
  void listen();

  const uint16_t port_;
  const std::string bindAddress_;
  ReadHandler onUDPRead_;
  std::shared_mutex socketLock_;  // Send shares it; closing the socket takes it alone
  int socket_ = -1;
  int wakeFd_ = -1;
  std::thread listener_;
  std::atomic<bool> active_{false};
  std::atomic<bool> stop_{false};
  std::atomic<uint16_t> boundPort_{0};
};

}  // namespace vexa
