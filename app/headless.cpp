#include "headless.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <iostream>

#include "line_reader.h"
#include "model_view.h"
#include "operator_console.h"
#include "signal_bridge.h"

namespace vexa {

namespace {
// The console reads standard input when it is a terminal or a pipe.
bool consoleInput() {
  struct stat st {};
  return ::isatty(0) || (::fstat(0, &st) == 0 && S_ISFIFO(st.st_mode));
}
}  // namespace

int runHeadless(int argc, char** argv, const StartupSettings& settings,
                SimulatorHost::Network network) {
  QCoreApplication app(argc, argv);
  ModelView view;
  bool starting = true;
  bool endpointFailed = false;
  auto reportFailure = [&](const std::string& message) {
    std::string line = message;
    for (char& c : line) c = c == '\r' ? ' ' : c;
    std::cerr << line << std::endl;
    endpointFailed = endpointFailed || starting;
  };
  SimulatorHost host(settings, view, nullptr, reportFailure, network);
  view.onSliderChange = [&host](int level, int value) {
    host.presenter().sliderChange(level, value);
  };
  view.onEndpointClick = [&host] { host.endpointSwitch().cbCT13Click(); };
  host.start();
  starting = false;
  // A headless simulator without its endpoint serves no one.
  if (endpointFailed) return 1;

  int exitCode = 0;
  bool closing = false;
  auto orderlyClose = [&] {
    if (closing) return;
    closing = true;
    const Status saved = host.close();
    if (!saved.ok()) {
      std::cerr << saved.text() << std::endl;
      exitCode = 2;
    } else if (const std::string kept = host.keptFilesNotice(); !kept.empty()) {
      std::cerr << "vexa-sim: " << kept << std::endl;
    }
    QCoreApplication::exit(exitCode);
  };
  SignalBridge bridge;
  QObject::connect(&bridge, &SignalBridge::closeRequested, &app, [&](int) { orderlyClose(); });

  OperatorConsole console(
      {host.state(), host.presenter(), view, host.faults(),
       [&host] { return host.endpoint().Active(); }, [&host] { return host.datagramsHandled(); },
       [&] { QMetaObject::invokeMethod(&app, orderlyClose, Qt::QueuedConnection); },
       [&host] { return host.delayedRepliesDropped(); },
       [&host] { return host.linesUnanswered(); }});
  std::unique_ptr<QSocketNotifier> input;
  LineReader lines;  // bounded: an over-long line is dropped with one error
  if (consoleInput()) {
    input = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
    QObject::connect(input.get(), &QSocketNotifier::activated, &app, [&] {
      char buffer[4096];
      const ssize_t n = ::read(0, buffer, sizeof buffer);
      if (n <= 0) {
        input->setEnabled(false);  // end of input: the simulator runs on
        return;
      }
      for (const LineReader::Line& line : lines.feed({buffer, static_cast<size_t>(n)})) {
        std::cout << (line.tooLong ? std::string("error: line too long\n")
                                   : console.execute(line.text))
                  << std::flush;
      }
    });
  }
  app.exec();
  return exitCode;
}

}  // namespace vexa
