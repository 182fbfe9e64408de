#pragma once

#include <string_view>

namespace vexa::api {

// The dashboard's files, built into the program from api/web/ (no network, no CDN).
struct WebAsset {
  std::string_view path;  // "/", "/app.js", "/app.css"
  std::string_view contentType;
  std::string_view body;
};

// The asset served at `path`, or null.
const WebAsset* findWebAsset(std::string_view path);

}  // namespace vexa::api
