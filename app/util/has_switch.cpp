#include "has_switch.h"

namespace vexa {

namespace {
char asciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace

bool HasSwitch(char letter, const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += argument;
  }
  for (char& c : line) c = asciiUpper(c);
  const std::string pattern{'/', asciiUpper(letter)};
  return line.find(pattern) != std::string::npos;
}

}  // namespace vexa
