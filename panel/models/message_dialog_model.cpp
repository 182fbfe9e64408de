#include "message_dialog_model.h"

namespace vexa {

std::optional<MessageDialogModel> MessageDialogModel::create(std::string text, Rgb colour,
                                                             int timeoutSeconds, int mode) {
  if (mode < 0 || mode > 2) return std::nullopt;
  if (mode == 2 && timeoutSeconds <= 0) return std::nullopt;
  // A negative timeout behaves as 0: no countdown. Large values saturate rather than overflow.
  const long long ticks = static_cast<long long>(timeoutSeconds) * 10;
  const int countdown = ticks < 0 ? 0 : ticks > 2147483647LL ? 2147483647 : static_cast<int>(ticks);
  return MessageDialogModel(std::move(text), colour, countdown, mode);
}

MessageDialogModel::Layout MessageDialogModel::layout() const {
  switch (mode_) {
    case 0:
      return {false, false, true, 211, 231};
    case 1:
      return {true, true, false, 211, 231};
    default:
      return {false, false, false, 176, 196};
  }
}

std::vector<std::string> MessageDialogModel::lines() const {
  std::vector<std::string> result(1);
  for (char c : text_) {
    if (c == '\r') {
      result.emplace_back();
    } else {
      result.back() += c;
    }
  }
  return result;
}

bool MessageDialogModel::show() {
  if (onBeep) onBeep();
  return countdown_ > 0;
}

bool MessageDialogModel::tick() {
  if (closed_) return false;
  --countdown_;
  if (countdown_ > 0) return false;
  finish(false);
  return true;
}

void MessageDialogModel::finish(bool answer) {
  if (closed_) return;
  closed_ = true;
  answer_ = answer;
}

MessageDialogModel::Point MessageDialogModel::placement(const std::optional<Rect>& owner,
                                                        const Rect& screen, int width, int height) {
  const Rect& r = owner ? *owner : screen;
  return {r.x + (r.width - width) / 2, r.y + (r.height - height) / 2};
}

}  // namespace vexa
