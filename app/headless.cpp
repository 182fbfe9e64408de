#include "headless.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <iostream>

#include "api_service.h"
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
  std::unique_ptr<ApiService> api =
      makeApiService(network, host, view,
                     {[&](bool on) {
                        view.setAutoChecked(on);
                        host.presenter().cbAutClick();
                      },
                      [&view](int item) { view.setBatteryItem(item); }});
  host.start();
  starting = false;
  // A headless simulator without its endpoint serves no one.
  if (endpointFailed) return 1;
  if (api && !startApiService(*api)) return 1;

  int exitCode = 0;
  bool closing = false;
  auto orderlyClose = [&] {
    if (closing) return;
    closing = true;
    const Status saved = host.close();
    if (!saved.ok()) {
      std::cerr << saved.text() << std::endl;
      exitCode = 2;
    }
    QCoreApplication::exit(exitCode);
  };
  SignalBridge bridge;
  QObject::connect(&bridge, &SignalBridge::closeRequested, &app, [&](int) { orderlyClose(); });

  OperatorConsole console(
      {host.state(), host.presenter(), view, host.faults(),
       [&host] { return host.endpoint().Active(); }, [&host] { return host.datagramsHandled(); },
       [&] { QMetaObject::invokeMethod(&app, orderlyClose, Qt::QueuedConnection); }});
  std::unique_ptr<QSocketNotifier> input;
  std::string pending;
  if (consoleInput()) {
    input = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
    QObject::connect(input.get(), &QSocketNotifier::activated, &app, [&] {
      char buffer[4096];
      const ssize_t n = ::read(0, buffer, sizeof buffer);
      if (n <= 0) {
        input->setEnabled(false);  // end of input: the simulator runs on
        return;
      }
      pending.append(buffer, static_cast<size_t>(n));
      for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        std::cout << console.execute(line) << std::flush;
      }
    });
  }
  app.exec();
  return exitCode;
}

}  // namespace vexa
