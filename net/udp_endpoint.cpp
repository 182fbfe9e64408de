#include "udp_endpoint.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cstring>
#include <vector>

namespace vexa {

namespace {

Status socketError(int error) {
  return Status::Error("Socket Error # " + std::to_string(error) + "\n" + std::strerror(error));
}

// "LOCALHOST" in any case is 127.0.0.1, a dotted address is used as it is, anything else is
// looked up as a host name.
bool resolveHost(const std::string& host, in_addr& out) {
  // The read handler always passes a dotted address: parse it first, with no allocation.
  if (inet_pton(AF_INET, host.c_str(), &out) == 1) return true;
  if (strcasecmp(host.c_str(), "LOCALHOST") == 0) return inet_pton(AF_INET, "127.0.0.1", &out) == 1;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  out = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

}  // namespace

Status bindFailure(int error) {
  if (error == EADDRINUSE) {
    return Status::Error("Could not bind socket. Address and port are already in use.");
  }
  return socketError(error);
}

UdpEndpoint::UdpEndpoint(uint16_t port, std::string bindAddress)
    : port_(port), bindAddress_(std::move(bindAddress)) {}

UdpEndpoint::~UdpEndpoint() {
  deactivate();
}

Status UdpEndpoint::setActive(bool active) {
  if (active == active_.load()) return Status::Ok();
  if (!active) {
    deactivate();
    return Status::Ok();
  }
  return activate();
}

Status UdpEndpoint::activate() {
  std::unique_lock<std::shared_mutex> opening(socketLock_);
  socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) return Status::Error("Cannot allocate socket.");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  // The binding keeps the port read back from its first bind, so a later activation binds
  // the same port again (this matters when the endpoint was built with port 0).
  address.sin_port = htons(boundPort_.load() != 0 ? boundPort_.load() : port_);
  if (inet_pton(AF_INET, bindAddress_.c_str(), &address.sin_addr) != 1) {
    ::close(socket_);
    socket_ = -1;
    return socketError(EINVAL);
  }
  if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(socket_);
    socket_ = -1;
    return bindFailure(error);
  }
  socklen_t length = sizeof address;
  ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
  boundPort_ = ntohs(address.sin_port);
  const int off = 0;
  if (::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &off, sizeof off) != 0) {
    const int error = errno;
    ::close(socket_);
    socket_ = -1;
    return socketError(error);
  }
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    const int error = errno;
    ::close(socket_);
    socket_ = -1;
    return socketError(error);
  }
  stop_ = false;
  try {
    listener_ = std::thread(&UdpEndpoint::listen, this);
  } catch (const std::system_error& e) {
    ::close(wakeFd_);
    ::close(socket_);
    wakeFd_ = socket_ = -1;
    return Status::Error(e.what());
  }
  active_ = true;
  return Status::Ok();
}

void UdpEndpoint::deactivate() {
  if (!listener_.joinable()) return;
  // Wake the listener through the eventfd instead of closing the socket under it: a closed
  // descriptor number may be reused at once by another thread.
  stop_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
  listener_.join();
  std::unique_lock<std::shared_mutex> closing(socketLock_);
  ::shutdown(socket_, SHUT_WR);
  ::close(socket_);
  ::close(wakeFd_);
  socket_ = wakeFd_ = -1;
  active_ = false;
}

void UdpEndpoint::listen() {
  std::vector<char> buffer(BufferSize);
  Binding binding;
  pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  while (!stop_.load()) {
    fds[0].revents = fds[1].revents = 0;
    const int ready = ::poll(fds, 2, 1000);
    if (ready <= 0 || stop_.load()) continue;
    if (!(fds[0].revents & POLLIN)) continue;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    // MSG_TRUNC makes recvfrom report the datagram's real length, so an oversized one is
    // dropped whole rather than delivered cut short.
    const ssize_t n = ::recvfrom(socket_, buffer.data(), buffer.size(), MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0 || static_cast<size_t>(n) > buffer.size()) continue;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    binding.senderAddress.assign(text);
    binding.senderPort = ntohs(from.sin_port);
    if (!onUDPRead_) continue;
    try {
      onUDPRead_(*this, std::string_view(buffer.data(), static_cast<size_t>(n)), binding);
    } catch (...) {
      // An error in the handler ends that datagram's handling; the listener goes on.
    }
  }
}

Status UdpEndpoint::Send(const std::string& host, uint16_t port, std::string_view bytes) {
  in_addr address{};
  if (!resolveHost(host, address)) return socketError(EHOSTUNREACH);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr = address;
  std::shared_lock<std::shared_mutex> sending(socketLock_);
  if (socket_ < 0) return socketError(EBADF);
  const ssize_t n = ::sendto(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                             reinterpret_cast<sockaddr*>(&to), sizeof to);
  if (n < 0) {
    if (errno == EMSGSIZE) return Status::Error("Package Size Too Big.");
    return socketError(errno);
  }
  if (static_cast<size_t>(n) < bytes.size()) return Status::Error("Not all bytes sent.");
  return Status::Ok();
}

}  // namespace vexa
