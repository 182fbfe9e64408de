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

// The cycle timer's interval for a "Ciclo" in seconds: Ciclo x 1000 ms, worked out in 64 bits
// and clamped to what a timer takes (a 32-bit signed count of milliseconds, about 24.8 days);
// 0 or less stays 0 or less (the cycle timer stays idle).
int cycleIntervalMs(int ciclo);

// The same for a file: its first kMaxIniBytes, read without blocking. A missing or unreadable
// file, or one that is not a regular file (a FIFO, a device, a directory), gives 2.
int readCiclo(const std::string& iniPath);

}  // namespace vexa
