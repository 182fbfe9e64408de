#include "api_routes.h"

#include <algorithm>

#include "web_assets.h"

namespace vexa::api {

namespace {

bool validUnitId(std::string_view id) {
  return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
  });
}

}  // namespace

std::optional<Route> routeOf(std::string_view path) {
  if (path == "/api/v1/health") return Route{RouteKind::Health, {}};
  if (path == "/api/v1/units") return Route{RouteKind::Units, {}};
  if (path == "/api/v1/events") return Route{RouteKind::Events, {}};
  if (path == "/api/v1/cards") return Route{RouteKind::Cards, {}};
  if (path == "/metrics") return Route{RouteKind::Metrics, {}};
  if (findWebAsset(path)) return Route{RouteKind::Asset, {}};
  constexpr std::string_view kUnits = "/api/v1/units/";
  if (path.substr(0, kUnits.size()) != kUnits) return std::nullopt;
  const std::string_view rest = path.substr(kUnits.size());
  const size_t slash = rest.find('/');
  const std::string_view id = rest.substr(0, slash);
  if (!validUnitId(id)) return std::nullopt;
  const std::string unit(id);
  if (slash == std::string_view::npos) return Route{RouteKind::Unit, unit};
  const std::string_view tail = rest.substr(slash);
  if (tail == "/reset") return Route{RouteKind::UnitReset, unit};
  if (tail == "/scenario") return Route{RouteKind::UnitScenario, unit};
  if (tail == "/events") return Route{RouteKind::UnitEvents, unit};
  return std::nullopt;
}

std::string_view allowedMethods(RouteKind kind) {
  switch (kind) {
    case RouteKind::Unit:
      return "GET, PATCH, OPTIONS";
    case RouteKind::UnitReset:
      return "POST, OPTIONS";
    case RouteKind::UnitScenario:
      return "POST, DELETE, OPTIONS";
    default:
      return "GET, OPTIONS";
  }
}

bool allowsMethod(RouteKind kind, std::string_view method) {
  const std::string_view list = allowedMethods(kind);
  for (size_t start = 0; start < list.size();) {
    const size_t end = std::min(list.find(", ", start), list.size());
    if (list.substr(start, end - start) == method) return true;
    start = end + 2;
  }
  return false;
}

bool isStream(RouteKind kind) {
  return kind == RouteKind::UnitEvents || kind == RouteKind::Events || kind == RouteKind::Cards;
}

}  // namespace vexa::api
