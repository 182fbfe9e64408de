#pragma once

#include <cstdint>

namespace vexa {

// What a click on the notification-area icon does to the window. A click restores a hidden
// window; a double click restores a hidden window or hides a shown one. The desktop delivers a
// double click as a click followed by a double click, and that first click has already
// restored a hidden window: the double click that completes it then leaves the window shown,
// so a double click on the icon of a hidden window ends with the window shown. GUI thread only.
class TrayClickRule {
 public:
  enum class Action { None, Restore, Hide };

  // `hidden`: the window is hidden now; `nowMs`: a monotonic clock in milliseconds.
  Action click(bool hidden, int64_t nowMs);
  // `intervalMs`: the desktop's double-click interval.
  Action doubleClick(bool hidden, int64_t nowMs, int64_t intervalMs);

 private:
  bool restoredByClick_ = false;
  int64_t restoredAtMs_ = 0;
};

}  // namespace vexa
