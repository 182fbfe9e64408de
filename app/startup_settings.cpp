#include "startup_settings.h"

#include <unistd.h>

#include <climits>

#include "has_switch.h"

namespace vexa {

std::string executableDirectory() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  const std::string full(path, static_cast<size_t>(n));
  return full.substr(0, full.rfind('/') + 1);
}

StartupSettings startupSettings(const std::vector<std::string>& arguments,
                                const std::string& appDir) {
  StartupSettings s;
  s.DetailMode = HasSwitch('D', arguments);
  s.LogEnabled = HasSwitch('L', arguments);
  s.paths = StatePaths::forDirectory(appDir);
  return s;
}

std::string windowCaption(bool detailMode, bool logEnabled) {
  std::string flags;
  if (detailMode) flags += 'D';
  if (logEnabled) flags += 'L';
  if (!flags.empty()) flags = "[" + flags + "] - ";
  return "  " + flags + "Quorix - Simulador VEXA";
}

}  // namespace vexa
