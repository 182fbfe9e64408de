#include "log_replay.h"

#include <vector>

#include "field_reader.h"

namespace vexa {

namespace {

// "dd/mm/yyyy hh:nn:ss - "
bool startsWithStamp(std::string_view line) {
  static constexpr std::string_view kShape = "00/00/0000 00:00:00 - ";
  if (line.size() < kShape.size()) return false;
  for (size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (kShape[i] == '0' ? !digit : line[i] != kShape[i]) return false;
  }
  return true;
}

std::vector<std::string> entriesOf(std::string_view log) {
  std::vector<std::string> entries;
  while (!log.empty()) {
    size_t end = log.find("\r\n");
    const std::string_view line = log.substr(0, end);
    log = end == std::string_view::npos ? std::string_view() : log.substr(end + 2);
    if (startsWithStamp(line)) {
      entries.emplace_back(line.substr(22));
    } else if (!entries.empty()) {
      entries.back() += "\r\n";
      entries.back() += line;
    }
  }
  return entries;
}

// The request lines of a logged (trimmed) datagram: bytes 0x20..0x7F, cut at each line feed.
std::vector<std::string> linesOf(std::string_view datagram) {
  std::vector<std::string> lines(1);
  for (char c : datagram) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0x0A) {
      lines.emplace_back();
    } else if (b >= 0x20 && b <= 0x7F) {
      lines.back() += c;
    }
  }
  return lines;
}

std::string shapeOf(std::string_view body, bool caseBlind) {
  std::string s;
  for (char c : body) s += (caseBlind && c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return s;
}

}  // namespace

std::string bodyStartOf(std::string_view line) {
  return std::string(fieldAt(line, 1, 3)) + "," + std::string(fieldAt(line, 4, 3)) + ",";
}

std::vector<LoggedExchange> parseTrafficLog(std::string_view log) {
  const std::vector<std::string> entries = entriesOf(log);
  std::vector<LoggedExchange> exchanges;
  size_t i = 0;
  while (i < entries.size()) {
    const std::vector<std::string> lines = linesOf(entries[i++]);
    LoggedExchange exchange;
    for (const std::string& line : lines) {
      if (i >= entries.size() || entries[i].rfind(bodyStartOf(line), 0) != 0) break;
      exchange.lines.push_back(line);
      exchange.bodies.push_back(entries[i++]);
    }
    exchanges.push_back(std::move(exchange));
  }
  return exchanges;
}

bool bodiesMatch(std::string_view logged, std::string_view replied, bool caseBlind) {
  std::string a = shapeOf(logged, caseBlind);
  std::string b = shapeOf(replied, caseBlind);
  const bool snd = a.size() >= 8 && (a.compare(0, 4, "snd,") == 0 || a.compare(0, 4, "SND,") == 0);
  if (!snd) return a == b;
  // Past "snd,ECH," every field is a number: compare how many and their signs only. A reply
  // made before the first 2 s tick has no flag fields (three levels and the token, where a
  // later one has three levels, five flags and the token); the flags are left out of both.
  auto shape = [](const std::string& s) {
    std::vector<std::string> fields;
    std::string field;
    bool inNumber = false;
    for (size_t k = 8; k < s.size(); ++k) {
      const bool digit = s[k] >= '0' && s[k] <= '9';
      if (digit && !inNumber) field += '#';
      if (!digit) field += s[k];
      inNumber = digit;
      if (s[k] == ',') {
        fields.push_back(std::move(field));
        field.clear();
      }
    }
    if (fields.size() == 9 && field.empty()) fields.erase(fields.begin() + 3, fields.begin() + 8);
    std::string out = s.substr(0, 8);
    for (const std::string& f : fields) out += f;
    return out + field;
  };
  return shape(a) == shape(b);
}

}  // namespace vexa
