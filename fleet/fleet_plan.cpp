#include "fleet_plan.h"

#include <arpa/inet.h>

#include <cstdio>

namespace vexa {

std::string unitFolderName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "unit-%04d/", number);
  return name;
}

UnitIdentity fleetIdentity(int n) {
  UnitIdentity id;
  const auto hi = static_cast<uint8_t>((n >> 8) & 0xFF);
  const auto lo = static_cast<uint8_t>(n & 0xFF);
  id.mac = std::array<uint8_t, 6>{0x00, 0x01, 0x02, 0x00, hi, lo};
  const auto subnet = static_cast<uint8_t>(((n - 1) / 250) % 256);
  const auto host = static_cast<uint8_t>((n - 1) % 250 + 2);
  id.ip = std::array<uint8_t, 4>{192, 168, subnet, host};
  id.mask = std::array<uint8_t, 4>{255, 255, 255, 0};
  id.gateway = std::array<uint8_t, 4>{192, 168, subnet, 1};
  return id;
}

namespace {
std::optional<uint32_t> parseAddress(const std::string& text) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
  return ntohl(a.s_addr);
}
}  // namespace

std::string dottedAddress(uint32_t hostOrder) {
  in_addr a{};
  a.s_addr = htonl(hostOrder);
  char text[INET_ADDRSTRLEN];
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

std::optional<std::pair<uint32_t, uint32_t>> parseAddressRange(const std::string& text) {
  const size_t dash = text.find('-');
  if (dash == std::string::npos) return std::nullopt;
  const auto first = parseAddress(text.substr(0, dash));
  const auto last = parseAddress(text.substr(dash + 1));
  if (!first || !last || *first > *last) return std::nullopt;
  return std::make_pair(*first, *last);
}

std::optional<std::string> planPortRange(FleetPlan& plan, int count, uint32_t base,
                                         const std::string& address) {
  if (count < 1 || count > kMaxUnits) {
    return "--units needs a count from 1 to " + std::to_string(kMaxUnits);
  }
  if (base + static_cast<uint32_t>(count) - 1 > 65535) {
    return "ports " + std::to_string(base) + " to " + std::to_string(base + count - 1) +
           " run past 65535";
  }
  plan.single = false;
  plan.units.clear();
  for (int i = 0; i < count; ++i) {
    UnitPlan u;
    u.number = i + 1;
    u.address = address;
    u.port = static_cast<uint16_t>(base + static_cast<uint32_t>(i));
    plan.units.push_back(u);
  }
  return std::nullopt;
}

std::optional<std::string> planAddressRange(FleetPlan& plan, const std::string& text,
                                            uint16_t port) {
  const auto range = parseAddressRange(text);
  if (!range) return "--bind-range needs two IPv4 addresses A-B with A not after B";
  const uint64_t count = static_cast<uint64_t>(range->second) - range->first + 1;
  if (count > static_cast<uint64_t>(kMaxUnits)) {
    return "--bind-range holds " + std::to_string(count) + " addresses; at most " +
           std::to_string(kMaxUnits) + " units";
  }
  plan.single = false;
  plan.units.clear();
  for (uint64_t i = 0; i < count; ++i) {
    UnitPlan u;
    u.number = static_cast<int>(i + 1);
    u.address = dottedAddress(range->first + static_cast<uint32_t>(i));
    u.port = port;
    plan.units.push_back(u);
  }
  return std::nullopt;
}

void placeUnits(FleetPlan& plan, const std::string& stateDir) {
  for (UnitPlan& u : plan.units) {
    if (plan.single) {
      u.directory = stateDir;
      continue;
    }
    u.directory = stateDir + unitFolderName(u.number);
    // Fields the fleet file gave win over the rule's.
    UnitIdentity id = fleetIdentity(u.number);
    if (u.identity) {
      const UnitIdentity& given = *u.identity;
      if (given.mac) id.mac = given.mac;
      if (given.ip) id.ip = given.ip;
      if (given.mask) id.mask = given.mask;
      if (given.gateway) id.gateway = given.gateway;
      id.scale = given.scale;
      id.ajTemp = given.ajTemp;
      id.ajUmid = given.ajUmid;
    }
    u.identity = id;
  }
}

}  // namespace vexa
