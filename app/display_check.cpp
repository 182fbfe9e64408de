#include "display_check.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace vexa {

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Opens and closes one X connection the way the toolkit's xcb platform would.
DisplayCheck checkX11(const std::string& display) {
  void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  // Without libxcb the toolkit's xcb platform cannot load either; it then reports this itself.
  if (!xcb) return {true, {}};
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
  const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
  DisplayCheck result{true, {}};
  if (connect && hasError && disconnect) {
    void* connection = connect(display.c_str(), nullptr);
    if (!connection || hasError(connection) != 0) {
      result = {false, "cannot open the display " + display};
    }
    if (connection) disconnect(connection);
  }
  ::dlclose(xcb);
  return result;
}

DisplayCheck checkWayland(const std::string& name) {
  const std::string path = name[0] == '/' ? name : environment("XDG_RUNTIME_DIR") + "/" + name;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return {false, "cannot open the display " + name};
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool ok =
      fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  if (!ok) return {false, "cannot open the display " + name};
  return {true, {}};
}

}  // namespace

DisplayCheck checkDisplay() {
  const std::string platform = environment("QT_QPA_PLATFORM");
  const std::string display = environment("DISPLAY");
  const std::string wayland = environment("WAYLAND_DISPLAY");
  if (!platform.empty() && platform.rfind("xcb", 0) != 0) return {true, {}};
  if (!display.empty()) return checkX11(display);
  if (platform.empty() && !wayland.empty()) return checkWayland(wayland);
  return {false, "no display to open the window on (DISPLAY is not set)"};
}

}  // namespace vexa
