#include "input_names.h"

#include <array>

namespace vexa {

namespace {

constexpr std::array<std::string_view, 8> kInputNames = {
    "presenca", "reset", "rede", "rede2", "rede3", "reserva5", "reserva6", "reserva7"};
// Bit 0's name as the panel writes it, in UTF-8.
constexpr std::string_view kPresencaUtf8 =
    "presen\xC3\xA7"
    "a";

}  // namespace

std::string_view inputName(int bit) {
  return kInputNames[static_cast<size_t>(bit & 7)];
}

std::optional<int> inputBitNamed(std::string_view name) {
  if (name == kPresencaUtf8) return 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (name == kInputNames[static_cast<size_t>(bit)]) return bit;
  }
  return std::nullopt;
}

}  // namespace vexa
