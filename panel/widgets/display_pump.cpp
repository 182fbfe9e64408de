#include "display_pump.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace vexa {

DisplayPump::DisplayPump(DisplayQueue::Apply apply, QObject* parent)
    : QObject(parent),
      wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      apply_(std::move(apply)),
      queue_([this] {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
      }) {
  later_.setSingleShot(true);
  connect(&later_, &QTimer::timeout, this, &DisplayPump::drainNow);
  notifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
    const qint64 since = sinceDrain_.isValid() ? sinceDrain_.elapsed() : kMinimumIntervalMs;
    if (since >= kMinimumIntervalMs) {
      drainNow();
    } else if (!later_.isActive()) {
      later_.start(static_cast<int>(kMinimumIntervalMs - since));
    }
  });
}

DisplayPump::~DisplayPump() {
  notifier_.reset();
  ::close(wakeFd_);
}

void DisplayPump::drainNow() {
  later_.stop();
  sinceDrain_.start();
  queue_.drain(apply_);
}

}  // namespace vexa
