#include "field_reader.h"

namespace vexa {

std::string_view fieldAt(std::string_view line, size_t p, size_t n) {
  if (p == 0 || p > line.size()) return {};
  return line.substr(p - 1, n);
}

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int32_t parseHex(std::string_view digits) {
  if (digits.empty()) return 0;
  uint64_t v = 0;
  for (char c : digits) {
    const int d = hexDigit(c);
    if (d < 0) return 0;
    v = (v << 4) | static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFu) return 0;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(v));
}

int32_t parseDecimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return 0;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
    if (v > int64_t{1} << 31) return 0;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return 0;
  return static_cast<int32_t>(v);
}

}  // namespace

int32_t ParseField(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty()) return 0;
  if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') return parseHex(text.substr(1));
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return parseHex(text.substr(2));
  }
  return parseDecimal(text);
}

}  // namespace vexa
