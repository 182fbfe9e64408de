// Any text as "VX.ini": the reader never fails, and a text without section "Geral" gives 2.
#include <cstdlib>

#include "ini_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int ciclo = vexa::cicloFromIniText(text);
  bool mayHaveSection = false;
  for (size_t i = 0; i + 5 <= text.size(); ++i) {
    if ((text[i] | 0x20) == 'g' && (text[i + 4] | 0x20) == 'l') mayHaveSection = true;
  }
  if (!mayHaveSection && ciclo != 2) std::abort();
  return 0;
}
