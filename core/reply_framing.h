#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa {

// Protocol variants as VariantCode holds them; the panel calls them "110", "130" and "150".
enum : int32_t { kVariant110 = 2, kVariant130 = 3, kVariant150 = 4 };

struct FramedReply {
  std::string bytes;         // exactly what is sent
  std::string_view version;  // the text for stVrs1: "1.10", "1.30" or "1.50"
};

// Prefixes or heads a terminated reply ("...\r\n") for the variant and applies its
// position-dependent byte shift. Variants 3 and 4 use the token in their header and upper-case
// the whole text first. Pure: the caller supplies VariantCode and TickToken.
FramedReply FrameReply(std::string_view terminatedReply, int32_t variantCode, uint16_t tickToken);

// Appends the framed bytes to `out` (cleared first); the allocation-free form of FrameReply.
std::string_view frameReplyInto(std::string& out, std::string_view terminatedReply,
                                int32_t variantCode, uint16_t tickToken);

// The panel's caption of a variant ("110", "130", "150") and back; nothing for other text.
std::string_view variantCaption(int32_t variantCode);
std::optional<int32_t> variantFromCaption(std::string_view caption);

// The version text FrameReply reports for a variant.
std::string_view versionTextOf(int32_t variantCode);

struct DecodedReply {
  int32_t variantCode;
  uint16_t headerToken;  // T of the header (TickToken mod 9300); 0 for variant 2
  std::string body;      // the terminated reply as sent (upper-cased in variants 3 and 4)
};

// Undoes the framing of `variantCode`; nothing when the bytes are not a well-formed reply of
// that variant (wrong prefix, malformed header, wrong header length).
std::optional<DecodedReply> decodeReply(std::string_view bytes, int32_t variantCode);

// Tries the three variants in turn (150, 130, 110).
std::optional<DecodedReply> decodeAnyReply(std::string_view bytes);

}  // namespace vexa
