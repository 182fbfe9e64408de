#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reply_framing.h"

namespace vexa {

// The named fields of a reply body: the status of an snd reply (levels, flags, token) and the
// parameter list of an rPr reply; empty for other commands or a body of another shape.
std::vector<std::pair<std::string, std::string>> replyFields(std::string_view body);

// One JSON object for a decoded reply: variant, header fields, body and parsed fields.
std::string replyJson(const DecodedReply& reply, std::string_view framed);

}  // namespace vexa
