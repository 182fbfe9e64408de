#include "window_app.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <cstdlib>
#include <iostream>

#include "api_service.h"
#include "display_pump.h"
#include "main_window.h"
#include "message_dialog.h"
#include "signal_bridge.h"
#include "trace.h"

namespace vexa {

namespace {
const char* const kApplicationTitle = "Quorix - Simulação Vexa";
}

std::string instanceServerName(const std::string& stateDirectory) {
  return stateDirectory + "vexa-sim.sock";
}

void askRunningInstanceToRaise(const std::string& stateDirectory) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(instanceServerName(stateDirectory)));
  if (!socket.waitForConnected(1000)) return;
  socket.write("raise\n");
  socket.waitForBytesWritten(1000);
  socket.disconnectFromServer();
}

void closeForSignal(QWidget& window) {
  // A hidden window's close does not count as the last window closing, so the loop is ended
  // here once the close sequence has completed.
  if (window.close()) QCoreApplication::quit();
}

int runWindow(int argc, char** argv, const StartupSettings& settings,
              SimulatorHost::Network network, const std::string& stateDirectory, ApiOptions api) {
  QApplication app(argc, argv);
  // The application title goes where a desktop names the application (the tray's tooltip, the
  // message boxes), not into the application display name, which the toolkit would append to
  // the caption in the title bar.
  const QString applicationTitle = QString::fromUtf8(kApplicationTitle);

  // FormCreate: caption, place, height; battery item 0 and empty traffic boxes are the
  // window's own initial state.
  MainWindow window;
  window.setApplicationTitle(applicationTitle);
  const std::string caption = windowCaption(settings.DetailMode, settings.LogEnabled);
  window.setWindowTitle(QString::fromStdString(caption));
  window.move(5, 5);
  window.setDetailMode(settings.DetailMode);
  trace("caption", caption);

  // Texts raised on the listener thread reach the controls through the queue, in order.
  DisplayPump pump([&window](PanelText id, const std::string& text) { window.setText(id, text); });

  auto reportFailure = [&window](const std::string& message) {
    trace("message", message);
    NrmMessage(message, colors::kRed, 10, 0, &window);
  };
  SimulatorHost host(settings, window, &pump.queue(), reportFailure, network);
  Presenter& presenter = host.presenter();
  QObject::connect(&window, &MainWindow::ledClicked, &window,
                   [&presenter](const QString& name) { presenter.LdClick(name.toStdString()); });
  QObject::connect(&window, &MainWindow::autoClicked, &window,
                   [&presenter] { presenter.cbAutClick(); });
  QObject::connect(&window, &MainWindow::sliderChanged, &window,
                   [&presenter](int level, int value) { presenter.sliderChange(level, value); });
  QObject::connect(&window, &MainWindow::variantClicked, &window,
                   [&presenter](int tag) { presenter.sbCodClick(tag); });
  QObject::connect(&window, &MainWindow::endpointClicked, &window,
                   [&host] { host.endpointClicked(); });

  // Every way of closing runs the close sequence; a failed save keeps the window open.
  bool signalled = false;  // a close asked for by a signal, when no one may be at the screen
  window.closeHandler = [&host, &window, &applicationTitle, &signalled] {
    const Status saved = host.close();
    if (saved.ok()) {
      if (const std::string kept = host.keptFilesNotice(); !kept.empty()) {
        trace("close kept", kept);
        std::cerr << "vexa-sim: " << kept << std::endl;
        if (!signalled) {
          QMessageBox::warning(&window, applicationTitle, QString::fromLocal8Bit(kept.c_str()));
        }
      }
      return true;
    }
    trace("close failed", saved.text());
    QMessageBox::critical(&window, applicationTitle, QString::fromLocal8Bit(saved.text().c_str()));
    return false;
  };

  auto* autoBox = qobject_cast<QCheckBox*>(window.control("cbAut"));
  auto* batteryBox = qobject_cast<QComboBox*>(window.control("cbBat"));
  std::unique_ptr<ApiService> apiService =
      makeApiService(std::move(api), host, window,
                     {[autoBox](bool on) { autoBox->setChecked(on); },  // a change runs cbAutClick
                      [batteryBox](int item) { batteryBox->setCurrentIndex(item); }});
  host.start();
  if (apiService && !apiService->start()) return 1;

  QLocalServer server;
  if (!stateDirectory.empty()) {
    const QString name = QString::fromStdString(instanceServerName(stateDirectory));
    QLocalServer::removeServer(name);
    server.listen(name);
    QObject::connect(&server, &QLocalServer::newConnection, &window, [&server, &window] {
      while (QLocalSocket* client = server.nextPendingConnection()) {
        QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        trace("raise");
        window.showRestoredAndRaise();
      }
    });
  }

  SignalBridge bridge;
  QObject::connect(&bridge, &SignalBridge::closeRequested, &window, [&window, &signalled](int) {
    signalled = true;
    closeForSignal(window);
  });

  window.show();
  app.setQuitOnLastWindowClosed(true);
  return app.exec();
}

}  // namespace vexa
