#include "display_queue.h"

#include <algorithm>

namespace vexa {

DisplayQueue::DisplayQueue(std::function<void()> wake) : wake_(std::move(wake)) {}

void DisplayQueue::setPanelText(PanelText id, std::string_view text) {
  const auto index = static_cast<size_t>(id);
  bool wasEmpty = false;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    latest_[index].assign(text);
    if (isPending_[index]) {
      // Move the display to the end: its latest update is now the newest.
      auto* end = order_.begin() + pending_;
      std::rotate(std::find(order_.begin(), end, id), std::find(order_.begin(), end, id) + 1, end);
    } else {
      wasEmpty = pending_ == 0;
      isPending_[index] = true;
      order_[pending_++] = id;
    }
  }
  if (wasEmpty && wake_) wake_();
}

void DisplayQueue::drain(const Apply& apply) {
  std::array<PanelText, kPanelTextCount> order;
  size_t count = 0;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    count = pending_;
    order = order_;
    for (size_t i = 0; i < count; ++i) {
      const auto index = static_cast<size_t>(order[i]);
      taken_[index].swap(latest_[index]);  // keeps both buffers' capacity: no allocation
      isPending_[index] = false;
    }
    pending_ = 0;
  }
  for (size_t i = 0; i < count; ++i) apply(order[i], taken_[static_cast<size_t>(order[i])]);
}

}  // namespace vexa
