#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "reply_framing.h"

namespace vexa {

// How the probe takes a datagram that came back from the unit it asked.
enum class ReplyVerdict {
  Answer,       // the reply to the line just sent
  Undecodable,  // not a reply of the variant, or cut short (no "\r\n" ending its body)
  NotTheAnswer  // a whole reply to another line (a late duplicate): ignored, the wait goes on
};

// Decodes `framed` for `variantCode` (0: whichever variant decodes it) and judges it as the
// answer to the request `line`. A body must end in "\r\n" and start with the line's command and
// echo fields (letter case ignored, variants 130 and 150 upper-case the body).
ReplyVerdict judgeReply(std::string_view framed, int variantCode, std::string_view line,
                        DecodedReply& decoded);

// The status a watch compares between polls: every named field of the body except the token,
// which changes with every snd; the body itself when it has no named fields.
std::string watchedStatus(std::string_view body);

// The largest log --replay reads.
constexpr size_t kMaxReplayBytes = 64 * 1024 * 1024;

// Reads a traffic log for --replay: a regular file of at most kMaxReplayBytes whose text is a
// log ("dd/mm/yyyy hh:nn:ss - " entries, no NUL byte). Directories, FIFOs, devices and other
// data are refused with a one-line reason, without blocking and without reading past the limit.
std::optional<std::string> readReplayLog(const std::string& path, std::string& error);

}  // namespace vexa
