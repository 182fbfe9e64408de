#include "headless.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <iostream>

#include "line_reader.h"
#include "model_view.h"
#include "operator_console.h"
#include "service_notify.h"
#include "signal_bridge.h"

namespace vexa {

namespace {
// Where the console's commands come from: a terminal or a pipe is watched for input; a regular
// file is read through to its end, one chunk per turn of the event loop; anything else (such as
// /dev/null) gives no console.
enum class ConsoleSource { None, Watched, File };

ConsoleSource consoleSource() {
  struct stat st {};
  if (::isatty(0)) return ConsoleSource::Watched;
  if (::fstat(0, &st) != 0) return ConsoleSource::None;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return ConsoleSource::Watched;
  if (S_ISREG(st.st_mode)) return ConsoleSource::File;
  return ConsoleSource::None;
}

std::string oneLine(std::string text) {
  for (char& c : text) c = (c == '\r' || c == '\n') ? ' ' : c;
  return text;
}
}  // namespace

int runHeadless(int argc, char** argv, const StartupSettings& settings,
                SimulatorHost::Network network) {
  QCoreApplication app(argc, argv);
  ModelView view;
  bool starting = true;
  bool endpointFailed = false;
  SimulatorHost* running = nullptr;
  // On a terminal the platform's reason says more than the window's fixed dialog text.
  auto reportFailure = [&](const std::string& message) {
    const std::string line = running ? running->endpointSwitch().failureReason() : oneLine(message);
    std::cerr << "vexa-sim: " << line << std::endl;
    endpointFailed = endpointFailed || starting;
  };
  SimulatorHost host(settings, view, nullptr, reportFailure, network);
  running = &host;
  view.onSliderChange = [&host](int level, int value) {
    host.presenter().sliderChange(level, value);
  };
  view.onEndpointClick = [&host] { host.endpointSwitch().cbCT13Click(); };
  host.start();
  starting = false;
  // A headless simulator without its endpoint serves no one: a rig must see it at once.
  if (endpointFailed) return 1;
  notifyReady("answering on " + network.bindAddress + ":" + std::to_string(network.port));

  // The close: saves the state and ends the loop. A failed save is reported and the run goes
  // on, answering; the next quit or signal tries again. A forced quit ends without saving.
  bool ended = false;  // the loop is ending: no more commands are run
  auto closeRun = [&](bool force) -> std::string {
    if (force) {
      ended = true;
      notifyStopping();
      std::cerr << "vexa-sim: ending without saving the state" << std::endl;
      QCoreApplication::exit(kExitUnsaved);
      return "ok quit --force: ended without saving the state\n";
    }
    const Status saved = host.close();
    if (!saved.ok()) {
      std::cerr << "vexa-sim: the state was not saved: " << oneLine(saved.text())
                << "; still running (quit --force ends without saving)" << std::endl;
      return "error: the state was not saved: " + oneLine(saved.text()) +
             "; still running (quit again, or quit --force to end without saving)\n";
    }
    if (const std::string kept = host.keptFilesNotice(); !kept.empty()) {
      std::cerr << "vexa-sim: " << kept << std::endl;
    }
    ended = true;
    notifyStopping();
    QCoreApplication::exit(0);
    return "ok quit\n";
  };
  SignalBridge bridge;
  QObject::connect(&bridge, &SignalBridge::closeRequested, &app, [&](int) { closeRun(false); });

  OperatorConsole console({host.state(), host.presenter(), view, host.faults(),
                           [&host] { return host.endpoint().Active(); },
                           [&host] { return host.datagramsHandled(); }, closeRun,
                           [&host] { return host.delayedRepliesDropped(); },
                           [&host] { return host.linesUnanswered(); }});
  LineReader lines;  // bounded: an over-long line is dropped with one error
  auto runLines = [&](const std::vector<LineReader::Line>& complete) {
    for (const LineReader::Line& line : complete) {
      if (ended) return;
      std::cout << (line.tooLong ? std::string("error: line too long\n")
                                 : console.execute(line.text))
                << std::flush;
    }
  };
  // Reads one chunk; false at the end of input (the simulator then runs on).
  auto readChunk = [&]() {
    char buffer[4096];
    const ssize_t n = ::read(0, buffer, sizeof buffer);
    if (n <= 0) {
      runLines(lines.finish());
      return false;
    }
    runLines(lines.feed({buffer, static_cast<size_t>(n)}));
    return true;
  };
  std::unique_ptr<QSocketNotifier> input;
  QTimer fileReader;
  switch (consoleSource()) {
    case ConsoleSource::Watched:
      input = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
      QObject::connect(input.get(), &QSocketNotifier::activated, &app, [&] {
        if (!readChunk()) input->setEnabled(false);
      });
      break;
    case ConsoleSource::File:
      // A regular file is always readable: a zero-interval timer reads it between events.
      fileReader.setInterval(0);
      QObject::connect(&fileReader, &QTimer::timeout, &app, [&] {
        if (!readChunk()) fileReader.stop();
      });
      fileReader.start();
      break;
    case ConsoleSource::None:
      break;
  }
  return app.exec();
}

}  // namespace vexa
