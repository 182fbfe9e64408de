#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vexa {

constexpr int kDefaultCiclo = 2;
// Only this much of the settings file is read, far more than any real one holds.
constexpr size_t kMaxIniBytes = 64 * 1024;

// The value of key "Ciclo" in section "Geral" of an INI text (names matched without regard to
// case; the first occurrence counts). A decimal integer with an optional sign, or hexadecimal
// after "$" or "0x"; anything else, a missing key or section, gives 2.
int cicloFromIniText(std::string_view text);

// The same for a file: its first kMaxIniBytes, read without blocking. A missing or unreadable
// file, or one that is not a regular file (a FIFO, a device, a directory), gives 2.
int readCiclo(const std::string& iniPath);

}  // namespace vexa
