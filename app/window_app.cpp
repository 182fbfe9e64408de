#include "window_app.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <cstdlib>

#include "api_service.h"
#include "display_pump.h"
#include "instance_lock.h"
#include "main_window.h"
#include "message_dialog.h"
#include "signal_bridge.h"
#include "trace.h"

namespace vexa {

namespace {
const char* const kApplicationTitle = "Quorix - Simulação Vexa";
}

std::string instanceServerName(const std::string& instanceName) {
  std::string path = InstanceLock::pathFor(instanceName);
  return path.substr(0, path.size() - 5) + ".sock";
}

void askRunningInstanceToRaise(const std::string& instanceName) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(instanceServerName(instanceName)));
  if (!socket.waitForConnected(1000)) return;
  socket.write("raise\n");
  socket.waitForBytesWritten(1000);
  socket.disconnectFromServer();
}

bool displayAvailable() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

int runWindow(int argc, char** argv, const StartupSettings& settings,
              SimulatorHost::Network network, const std::string& instanceName) {
  QApplication app(argc, argv);
  QGuiApplication::setApplicationDisplayName(QString::fromUtf8(kApplicationTitle));

  // FormCreate: caption, place, height; battery item 0 and empty traffic boxes are the
  // window's own initial state.
  MainWindow window;
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
                   [&host] { host.endpointSwitch().cbCT13Click(); });

  // Every way of closing runs the close sequence; a failed save keeps the window open.
  window.closeHandler = [&host, &window] {
    const Status saved = host.close();
    if (saved.ok()) return true;
    trace("close failed", saved.text());
    QMessageBox::critical(&window, QGuiApplication::applicationDisplayName(),
                          QString::fromLocal8Bit(saved.text().c_str()));
    return false;
  };

  auto* autoBox = qobject_cast<QCheckBox*>(window.control("cbAut"));
  auto* batteryBox = qobject_cast<QComboBox*>(window.control("cbBat"));
  std::unique_ptr<ApiService> api =
      makeApiService(network, host, window,
                     {[autoBox](bool on) { autoBox->setChecked(on); },  // a change runs cbAutClick
                      [batteryBox](int item) { batteryBox->setCurrentIndex(item); }});
  host.start();
  if (api && !startApiService(*api)) return 1;

  QLocalServer server;
  if (!instanceName.empty()) {
    const QString name = QString::fromStdString(instanceServerName(instanceName));
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
  QObject::connect(&bridge, &SignalBridge::closeRequested, &window,
                   [&window](int) { window.close(); });

  window.show();
  app.setQuitOnLastWindowClosed(true);
  return app.exec();
}

}  // namespace vexa
