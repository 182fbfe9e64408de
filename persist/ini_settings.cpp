#include "ini_settings.h"

#include <cstdint>

#include "bounded_read.h"

namespace vexa {

namespace {

std::string_view stripBlanks(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Decimal with optional sign, or hexadecimal after "$" or "0x"; false when malformed or
// outside the signed 32-bit range.
bool parseInteger(std::string_view s, int& out) {
  int base = 10;
  bool negative = false;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  } else if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  int64_t v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return false;
    }
    v = v * base + d;
    if (v > 0xFFFFFFFFLL) return false;
  }
  if (base == 16) {
    out = static_cast<int>(static_cast<uint32_t>(v));
    return true;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

int cicloFromIniText(std::string_view text) {
  bool inGeral = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = stripBlanks(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      inGeral = close != std::string_view::npos &&
                sameName(stripBlanks(line.substr(1, close - 1)), "Geral");
      continue;
    }
    const size_t equals = line.find('=');
    if (!inGeral || equals == std::string_view::npos) continue;
    if (!sameName(stripBlanks(line.substr(0, equals)), "Ciclo")) continue;
    int value = kDefaultCiclo;
    return parseInteger(stripBlanks(line.substr(equals + 1)), value) ? value : kDefaultCiclo;
  }
  return kDefaultCiclo;
}

int cycleIntervalMs(int ciclo) {
  const int64_t ms = static_cast<int64_t>(ciclo) * 1000;
  if (ms > INT32_MAX) return INT32_MAX;
  if (ms < INT32_MIN) return INT32_MIN;
  return static_cast<int>(ms);
}

int readCiclo(const std::string& iniPath) {
  const BoundedRead file = readRegularFile(iniPath, kMaxIniBytes);
  if (file.outcome != BoundedRead::Outcome::Read) return kDefaultCiclo;
  std::string_view text = file.bytes;
  // A file cut at the limit loses its last, partial line rather than reading half a value.
  if (file.truncated) text = text.substr(0, text.rfind('\n') + 1);
  return cicloFromIniText(text);
}

}  // namespace vexa
