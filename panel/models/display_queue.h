#pragma once

#include <array>
#include <functional>
#include <mutex>
#include <string>

#include "panel_texts.h"

namespace vexa {

// Carries display texts raised on the listener thread to the GUI thread. Only the latest text
// of each display is kept, and displays are applied in the order of their latest update, so
// what the window shows is exactly what applying every update in order would show, while the
// memory stays fixed and a flood cannot freeze the window.
//
// `setPanelText` may be called from any thread and never waits for the GUI thread: it takes a
// lock held only to copy one text. `wake` is called (on the raising thread) when the queue
// goes from empty to pending; it must post `drain` to the GUI thread.
class DisplayQueue final : public PanelTextSink {
 public:
  using Apply = std::function<void(PanelText id, const std::string& text)>;
  explicit DisplayQueue(std::function<void()> wake);

  void setPanelText(PanelText id, std::string_view text) override;

  // GUI thread: applies the pending texts in order and empties the queue.
  void drain(const Apply& apply);

 private:
  std::mutex mutex_;
  std::function<void()> wake_;
  std::array<std::string, kPanelTextCount> latest_;  // guarded by mutex_
  std::array<PanelText, kPanelTextCount> order_{};   // pending ids, oldest update first
  size_t pending_ = 0;
  std::array<bool, kPanelTextCount> isPending_{};
  // GUI thread only: the texts taken out by the last drain.
  std::array<std::string, kPanelTextCount> taken_;
};

}  // namespace vexa
