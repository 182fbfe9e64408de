#include "led_model.h"

namespace vexa {

void LedModel::recompute() {
  Rgb next = shown_;
  if (!ledOn_) {
    next = off_;
  } else if (ledIndex_ >= 0 && ledIndex_ <= 3) {
    next = on_[ledIndex_];
  }
  if (next == shown_) return;
  shown_ = next;
  if (onRepaint) onRepaint();
}

void LedModel::click() {
  if (enabled_ && OnClick) OnClick(*this);
}

}  // namespace vexa
