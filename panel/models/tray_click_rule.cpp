#include "tray_click_rule.h"

namespace vexa {

TrayClickRule::Action TrayClickRule::click(bool hidden, int64_t nowMs) {
  restoredByClick_ = hidden;
  restoredAtMs_ = nowMs;
  return hidden ? Action::Restore : Action::None;
}

TrayClickRule::Action TrayClickRule::doubleClick(bool hidden, int64_t nowMs, int64_t intervalMs) {
  const bool completesRestoringClick = restoredByClick_ && nowMs - restoredAtMs_ <= intervalMs;
  restoredByClick_ = false;
  if (hidden) return Action::Restore;
  return completesRestoringClick ? Action::None : Action::Hide;
}

}  // namespace vexa
