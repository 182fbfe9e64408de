#pragma once

#include <optional>
#include <string>

#include "reply_framing.h"

namespace vexa::testing {

// The body of a reply datagram, or a marker a failing check prints when there was none or it
// did not decode.
inline std::string replyBody(const std::optional<std::string>& reply) {
  if (!reply) return "(no reply)";
  const auto decoded = decodeAnyReply(*reply);
  return decoded ? decoded->body : "(undecodable)";
}

}  // namespace vexa::testing
