#include "trace.h"

#include <cstdlib>
#include <iostream>

namespace vexa {

void trace(std::string_view what, std::string_view detail) {
  static const bool enabled = std::getenv("VEXA_SIM_TRACE") != nullptr;
  if (!enabled) return;
  std::string line(detail);
  for (char& c : line) c = c == '\r' || c == '\n' ? '|' : c;
  std::cerr << "trace: " << what << (line.empty() ? "" : ": ") << line << std::endl;
}

}  // namespace vexa
