#include "text_format.h"

#include <charconv>

namespace vexa {

void appendHex(std::string& out, int64_t value, int digits) {
  char buffer[8];
  const char* end = putHex(buffer, value, 1);
  const auto length = static_cast<int>(end - buffer);
  if (digits > length) out.append(static_cast<size_t>(digits - length), '0');
  out.append(buffer, static_cast<size_t>(length));
}

std::string HexText(int64_t value, int digits) {
  std::string s;
  appendHex(s, value, digits);
  return s;
}

void appendDecimal(std::string& out, int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

std::string HexDump(std::string_view bytes) {
  std::string s;
  s.reserve(bytes.size() * 3);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    s += kHexDigits[b >> 4];
    s += kHexDigits[b & 0xF];
    s += ' ';
  }
  return s;
}

void appendJsonText(std::string& out, std::string_view s) {
  out += '"';
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      out += "\\u00";
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

std::string jsonText(std::string_view s) {
  std::string out;
  appendJsonText(out, s);
  return out;
}

std::string oneLine(std::string text) {
  for (char& c : text) c = c == '\r' || c == '\n' ? ' ' : c;
  return text;
}

std::string_view trimmed(std::string_view text) {
  auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isSpace(text[begin])) ++begin;
  while (end > begin && isSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace vexa
