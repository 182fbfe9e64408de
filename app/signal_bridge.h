#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace vexa {

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the GUI thread: the handler only
// writes a byte to a pipe, whose read end a socket notifier watches.
class SignalBridge : public QObject {
  Q_OBJECT

 public:
  explicit SignalBridge(QObject* parent = nullptr);
  ~SignalBridge() override;

 signals:
  void closeRequested(int signalNumber);

 private:
  void drain();
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vexa
