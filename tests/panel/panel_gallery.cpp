// Renders the panel's controls in their states and the message dialog in each mode to PNG
// files, so their look can be reviewed: panel-gallery [DIRECTORY]
#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "fonts.h"
#include "led_indicator.h"
#include "main_window.h"
#include "message_dialog.h"
#include "model_view.h"
#include "rx_slider.h"

using namespace vexa;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString directory = argc > 1 ? argv[1] : "gallery";
  QDir().mkpath(directory);

  QWidget controls;
  controls.setFixedSize(420, 130);
  const char* captions[] = {"presença", "reset", "rede", "reserva"};
  for (int i = 0; i < 4; ++i) {
    auto* led = new LedIndicator(&controls);
    configureLed(led->model(), i == 1 ? "Ld01" : "Ld00");
    led->setCaption(QString::fromUtf8(captions[i]));
    led->setFont(arialFont(13, false));
    led->setGeometry(10, 10 + 25 * i, 71, 19);
    led->model().setLedOn(i % 2 == 0);
    led->setEnabled(i != 1);
  }
  for (int i = 0; i < 3; ++i) {
    auto* slider = new RxSlider(&controls);
    configureLevelSlider(slider->model(), i == 0 ? 0 : 1);
    slider->setGeometry(120 + 55 * i, 10, 41, 103);
    slider->setValue(i == 0 ? 250 : i == 1 ? 30 : 100);
    slider->setEnabled(i != 2);
  }
  auto* horizontal = new RxSlider(&controls);
  horizontal->setGeometry(290, 40, 120, 40);
  horizontal->setValue(40);
  controls.grab().save(directory + "/controls.png");

  for (int mode : {0, 1, 2}) {
    auto model = MessageDialogModel::create("Modbus\rErro na abertura da porta 5010", colors::kRed,
                                            10, mode);
    MessageDialog dialog(std::move(*model), nullptr);
    dialog.grab().save(directory + QString("/dialog-mode%1.png").arg(mode));
  }
  simulatorIcon().pixmap(32, 32).save(directory + "/icon.png");
  return 0;
}
