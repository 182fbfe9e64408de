#include "state_location.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace vexa {

namespace {
bool makeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0755);
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string canonical(const std::string& directory) {
  char resolved[PATH_MAX];
  if (!::realpath(directory.c_str(), resolved)) return directory;
  std::string s = resolved;
  return s.back() == '/' ? s : s + "/";
}
}  // namespace

StateLocation locateState(const CommandLine& options, const std::string& executableDir) {
  StateLocation where;
  if (options.stateDir) {
    if (!makeDirectories(*options.stateDir)) {
      where.error = "cannot use the state directory " + *options.stateDir;
      return where;
    }
    where.directory = canonical(*options.stateDir);
  } else if (::access(executableDir.c_str(), W_OK) == 0) {
    where.directory = executableDir;
  } else {
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string base = stateHome && *stateHome
                           ? stateHome
                           : std::string(home && *home ? home : "/tmp") + "/.local/state";
    where.directory = base + "/vexa-sim/";
    if (!makeDirectories(where.directory)) {
      where.error = "cannot create the state directory " + where.directory;
      return where;
    }
    where.notice =
        "vexa-sim: " + executableDir + " is not writable; keeping the state in " + where.directory;
  }
  return where;
}

}  // namespace vexa
