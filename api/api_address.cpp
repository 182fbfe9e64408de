#include "api_address.h"

#include <arpa/inet.h>

#include <charconv>

namespace vexa::api {

bool ApiAddress::loopback() const {
  in_addr a{};
  return ::inet_pton(AF_INET, host.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

std::optional<ApiAddress> parseApiAddress(std::string_view text) {
  ApiAddress address;
  std::string_view portText = text;
  if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    address.host = std::string(text.substr(0, colon));
    portText = text.substr(colon + 1);
    if (address.host == "localhost") address.host = "127.0.0.1";
    in_addr a{};
    if (::inet_pton(AF_INET, address.host.c_str(), &a) != 1) return std::nullopt;
  }
  unsigned port = 0;
  const auto r = std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (portText.empty() || r.ec != std::errc() || r.ptr != portText.data() + portText.size() ||
      port > 65535) {
    return std::nullopt;
  }
  address.port = static_cast<uint16_t>(port);
  return address;
}

}  // namespace vexa::api
