#include "signal_bridge.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace vexa {

namespace {
int pipeFds[2] = {-1, -1};

void onSignal(int number) {
  const unsigned char byte = static_cast<unsigned char>(number);
  [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
}
}  // namespace

SignalBridge::SignalBridge(QObject* parent) : QObject(parent) {
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalBridge::drain);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

SignalBridge::~SignalBridge() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

void SignalBridge::drain() {
  unsigned char byte = 0;
  while (::read(pipeFds[0], &byte, 1) == 1) emit closeRequested(byte);
}

}  // namespace vexa
