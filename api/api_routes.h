#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vexa::api {

// The paths of API v1 (docs/api.md) and the methods each takes. Pure.
enum class RouteKind {
  Health,        // GET /api/v1/health
  Units,         // GET /api/v1/units
  Unit,          // GET, PATCH /api/v1/units/{id}
  UnitReset,     // POST /api/v1/units/{id}/reset
  UnitScenario,  // POST, DELETE /api/v1/units/{id}/scenario
  UnitEvents,    // GET /api/v1/units/{id}/events (a stream)
  Events,        // GET /api/v1/events (a stream)
  Cards,         // GET /api/v1/cards (a stream)
  Metrics,       // GET /metrics
  Asset,         // GET of a page's file (findWebAsset)
};

struct Route {
  RouteKind kind;
  std::string unit;  // the {id} of a unit's path
};

// The route of `path`, or nothing. A unit id is 1 to 64 letters, digits, '-', '_' or '.'.
std::optional<Route> routeOf(std::string_view path);

// "GET, PATCH, OPTIONS": what the route's Allow header lists.
std::string_view allowedMethods(RouteKind kind);
bool allowsMethod(RouteKind kind, std::string_view method);
// An event stream: held open, and the only place ?access_token= is taken.
bool isStream(RouteKind kind);

}  // namespace vexa::api
