#pragma once

#include <string>

namespace vexa {

// Whether the window system the GUI toolkit would use can be reached now. Checked before the
// toolkit starts, because the toolkit aborts the process when its display cannot be opened.
struct DisplayCheck {
  bool usable = false;
  std::string problem;  // why not, one line naming the display; empty when usable
};

// A platform chosen in QT_QPA_PLATFORM other than xcb is taken as usable; for X11 (DISPLAY)
// a connection is opened and closed again through libxcb, loaded at run time; for Wayland
// (WAYLAND_DISPLAY, no DISPLAY) its socket must accept a connection.
DisplayCheck checkDisplay();

}  // namespace vexa
