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

std::string installBinDirectory() {
  return VEXA_INSTALL_BINDIR;
}

bool isInstalledDirectory(const std::string& executableDir, const std::string& installBinDir) {
  std::string bin = installBinDir;
  if (!bin.empty() && bin.back() != '/') bin += '/';
  return executableDir.rfind("/usr/", 0) == 0 || (!bin.empty() && executableDir == bin);
}

StateLocation locateState(const CommandLine& options, const std::string& executableDir,
                          const std::string& installBinDir) {
  StateLocation where;
  if (options.stateDir) {
    if (!makeDirectories(*options.stateDir)) {
      where.error = "cannot use the state directory " + *options.stateDir;
      return where;
    }
    where.directory = canonical(*options.stateDir);
  } else if (!isInstalledDirectory(executableDir, installBinDir) &&
             ::access(executableDir.c_str(), W_OK) == 0) {
    where.directory = executableDir;
  } else {
    // XDG: a relative XDG_STATE_HOME is invalid and ignored.
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string base;
    if (stateHome && stateHome[0] == '/') {
      base = stateHome;
    } else if (home && home[0] == '/') {
      base = std::string(home);
      if (base.back() != '/') base += '/';
      base += ".local/state";
    } else {
      where.error = "no state directory: HOME is not set (nor XDG_STATE_HOME); give --state-dir";
      return where;
    }
    where.directory = base + (base.back() == '/' ? "" : "/") + "vexa-sim/";
    if (!makeDirectories(where.directory)) {
      where.error = "cannot create the state directory " + where.directory;
      return where;
    }
    where.notice = "vexa-sim: keeping the state in " + where.directory;
  }
  return where;
}

}  // namespace vexa
