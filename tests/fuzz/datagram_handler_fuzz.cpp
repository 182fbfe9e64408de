// Any bytes into the datagram handler: as many replies as line feeds, each decoding through
// its variant's framing, and the state within its invariants.
#include <cstdlib>

#include "datagram_handler.h"
#include "reply_framing.h"

namespace {
struct FixedTicks final : vexa::TickSource {
  uint32_t now = 0;
  uint32_t GetTickCount() override { return now += 7919; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static vexa::DeviceState state;
  static FixedTicks ticks;
  static vexa::DatagramHandler handler(state, ticks);
  const int32_t variant = 2 + data[0] % 3;
  state.locked([&](vexa::DeviceData& d) { d.VariantCode = variant; });
  const std::string_view datagram(reinterpret_cast<const char*>(data + 1), size - 1);
  const auto replies = handler.handle(datagram);
  size_t lineFeeds = 0;
  for (char c : datagram) lineFeeds += c == '\n';
  if (replies.size() != lineFeeds) std::abort();
  for (const std::string& reply : replies) {
    const auto decoded = vexa::decodeReply(reply, variant);
    if (!decoded || decoded->body.size() < 4 ||
        decoded->body.compare(decoded->body.size() - 2, 2, "\r\n") != 0) {
      std::abort();
    }
  }
  state.locked([](const vexa::DeviceData& d) {
    if (d.WorkScale != vexa::workScaleOf(d.config) || d.WorkAjTemp != d.config.AjTemp) std::abort();
    if (d.VariantCode < 2 || d.VariantCode > 4) std::abort();
  });
  return 0;
}
