#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>

#include "display_queue.h"

namespace vexa {

// Drives a DisplayQueue from the GUI thread's event loop. The raising thread only writes to an
// eventfd (no Qt call, no allocation); a socket notifier on the GUI thread then drains the
// queue into `apply`. The texts themselves pass under the queue's own lock. Drains come at
// most once per kMinimumInterval: under a flood the window repaints 40 times a second rather
// than once per datagram, and still shows exactly the latest texts.
class DisplayPump : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMinimumIntervalMs = 25;

  explicit DisplayPump(DisplayQueue::Apply apply, QObject* parent = nullptr);
  ~DisplayPump() override;

  // The sink for the listener thread.
  DisplayQueue& queue() { return queue_; }
  // Applies what is pending now (GUI thread).
  void drainNow();

 private:
  int wakeFd_;
  DisplayQueue::Apply apply_;
  DisplayQueue queue_;
  std::unique_ptr<QSocketNotifier> notifier_;
  QElapsedTimer sinceDrain_;
  QTimer later_;  // a drain held back by the interval
};

}  // namespace vexa
