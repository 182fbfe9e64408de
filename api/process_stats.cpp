#include "process_stats.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>

namespace vexa::api {

ProcessStats readProcessStats() {
  ProcessStats stats;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    long long size = 0, resident = 0;
    if (std::fscanf(statm, "%lld %lld", &size, &resident) == 2) {
      stats.residentBytes = resident * ::sysconf(_SC_PAGESIZE);
    }
    std::fclose(statm);
  }
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    int64_t count = 0;
    while (const dirent* entry = ::readdir(fds)) {
      if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(fds);
    stats.openDescriptors = count - 1;  // not the one reading the directory
  }
  return stats;
}

}  // namespace vexa::api
