#include "web_assets.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace vexa::api {
namespace {

using nlohmann::json;

std::string fileText(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Expected {
  const char* path;
  const char* contentType;
};
constexpr Expected kServed[] = {{"/", "text/html"},
                                {"/app.css", "text/css"},
                                {"/app.js", "text/javascript"},
                                {"/api/v1/openapi.json", "application/json"}};

TEST(WebAssets, EveryFileIsThereWithItsType) {
  for (const Expected& e : kServed) {
    const WebAsset* asset = findWebAsset(e.path);
    ASSERT_NE(asset, nullptr) << e.path;
    EXPECT_EQ(asset->path, e.path);
    EXPECT_EQ(asset->contentType, e.contentType) << e.path;
    EXPECT_FALSE(asset->body.empty()) << e.path;
  }
  for (const char* path : {"", "/index.html", "/api/v1/openapi.yaml", "/app.js/"}) {
    EXPECT_EQ(findWebAsset(path), nullptr) << path;
  }
}

// The embedding keeps every byte of the converted document, and the document describes every
// file served.
TEST(WebAssets, TheOpenApiDocumentIsTheBuiltOne) {
  const WebAsset* asset = findWebAsset("/api/v1/openapi.json");
  ASSERT_NE(asset, nullptr);
  const std::string built = fileText(VEXA_OPENAPI_JSON);
  ASSERT_FALSE(built.empty());
  EXPECT_EQ(asset->body, built);
  const json document = json::parse(asset->body, nullptr, false);
  ASSERT_FALSE(document.is_discarded());
  EXPECT_EQ(document.value("openapi", "").substr(0, 4), "3.1.");
  for (const Expected& e : kServed) {
    ASSERT_TRUE(document["paths"].contains(e.path)) << e.path;
    EXPECT_TRUE(
        document["paths"][e.path]["get"]["responses"]["200"]["content"].contains(e.contentType))
        << e.path;
  }
}

}  // namespace
}  // namespace vexa::api
