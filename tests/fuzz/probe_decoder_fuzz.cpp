// Any bytes into the probe's decoding: reply framing of every variant, the reply fields, the
// traffic log parser and the body comparison. A decoded reply frames back to the same bytes
// when its body was upper-case already.
#include <cstdlib>

#include "log_replay.h"
#include "reply_fields.h"
#include "reply_framing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (int32_t variant : {2, 3, 4}) {
    const auto decoded = vexa::decodeReply(bytes, variant);
    if (!decoded) continue;
    (void)vexa::replyFields(decoded->body);
    (void)vexa::replyJson(*decoded, bytes);
    if (variant == 2 && vexa::FrameReply(decoded->body, 2, 0).bytes != bytes) std::abort();
  }
  (void)vexa::decodeAnyReply(bytes);
  const auto exchanges = vexa::parseTrafficLog(bytes);
  for (const auto& e : exchanges) {
    if (e.lines.size() != e.bodies.size()) std::abort();
    for (size_t i = 0; i < e.bodies.size(); ++i) (void)vexa::bodiesMatch(e.bodies[i], bytes, true);
  }
  return 0;
}
