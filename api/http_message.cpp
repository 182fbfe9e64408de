#include "http_message.h"

#include <strings.h>

#include "change_json.h"

namespace vexa::api {

namespace {
const std::string* find(const Fields& fields, std::string_view name, bool anyCase) {
  for (const auto& [key, value] : fields) {
    if (key.size() != name.size()) continue;
    if (anyCase ? strncasecmp(key.data(), name.data(), name.size()) == 0 : key == name) {
      return &value;
    }
  }
  return nullptr;
}
}  // namespace

const std::string* HttpRequest::header(std::string_view name) const {
  return find(headers, name, true);
}

const std::string* HttpRequest::param(std::string_view name) const {
  return find(query, name, false);
}

HttpReply errorReply(int status, const std::string& message, const std::string& field) {
  HttpReply reply;
  reply.status = status;
  reply.body = errorBody(FieldError{status, field, message, std::nullopt, std::nullopt});
  return reply;
}

}  // namespace vexa::api
