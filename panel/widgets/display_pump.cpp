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
  notifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &DisplayPump::drainNow);
}

DisplayPump::~DisplayPump() {
  notifier_.reset();
  ::close(wakeFd_);
}

void DisplayPump::drainNow() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
  queue_.drain(apply_);
}

}  // namespace vexa
