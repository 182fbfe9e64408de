#include "headless.h"

#include <QCoreApplication>
#include <iostream>

#include "model_view.h"
#include "signal_bridge.h"

namespace vexa {

int runHeadless(int argc, char** argv, const StartupSettings& settings,
                SimulatorHost::Network network) {
  QCoreApplication app(argc, argv);
  ModelView view;
  bool endpointFailed = false;
  auto reportFailure = [&endpointFailed](const std::string& message) {
    std::string line = message;
    for (char& c : line) c = c == '\r' ? ' ' : c;
    std::cerr << line << std::endl;
    endpointFailed = true;
  };
  SimulatorHost host(settings, view, nullptr, reportFailure, network);
  view.onSliderChange = [&host](int level, int value) {
    host.presenter().sliderChange(level, value);
  };
  view.onEndpointClick = [&host] { host.endpointSwitch().cbCT13Click(); };
  host.start();
  // A headless simulator without its endpoint serves no one.
  if (endpointFailed) return 1;

  int exitCode = 0;
  bool closing = false;
  SignalBridge bridge;
  QObject::connect(&bridge, &SignalBridge::closeRequested, &app, [&](int) {
    if (closing) return;
    closing = true;
    const Status saved = host.close();
    if (!saved.ok()) {
      std::cerr << saved.text() << std::endl;
      exitCode = 2;
    }
    QCoreApplication::exit(exitCode);
  });
  app.exec();
  return exitCode;
}

}  // namespace vexa
