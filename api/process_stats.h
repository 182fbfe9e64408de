#pragma once

#include <cstdint>

namespace vexa::api {

// The process's resident memory and open descriptors, read from /proc; -1 when unreadable.
struct ProcessStats {
  int64_t residentBytes = -1;
  int64_t openDescriptors = -1;
};
ProcessStats readProcessStats();

}  // namespace vexa::api
