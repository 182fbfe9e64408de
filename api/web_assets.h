#pragma once

#include <string_view>

namespace vexa::api {

// The dashboard's files (api/web/) and the OpenAPI document (docs/openapi.yaml), built into the
// program (no network, no CDN).
struct WebAsset {
  std::string_view path;  // "/", "/app.js", "/app.css", "/api/v1/openapi.json"
  std::string_view contentType;
  std::string_view body;
};

// The asset served at `path`, or null.
const WebAsset* findWebAsset(std::string_view path);

}  // namespace vexa::api
