#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa::api {

// Where the HTTP interface listens.
struct ApiAddress {
  std::string host = "127.0.0.1";  // dotted IPv4
  uint16_t port = 0;               // 0: any free port
  // 127.0.0.0/8: only this machine can connect.
  bool loopback() const;
};

// "PORT" (on 127.0.0.1) or "ADDR:PORT" with ADDR a dotted IPv4 address or "localhost", PORT
// 0..65535; nothing for anything else.
std::optional<ApiAddress> parseApiAddress(std::string_view text);

}  // namespace vexa::api
