#pragma once

#include <QButtonGroup>
#include <QWidget>
#include <array>
#include <functional>
#include <map>

#include "led_indicator.h"
#include "main_window_layout.h"
#include "panel_view.h"
#include "rx_slider.h"
#include "tray_click_rule.h"

class QCheckBox;
class QComboBox;
class QSystemTrayIcon;

namespace vexa {

// TfrVXS01: the operator window, built from the layout table. Implements the presenter's view;
// operator actions come out as signals, delivered synchronously on the GUI thread. Whether a
// close goes ahead is decided by `closeHandler` (the close sequence).
class MainWindow : public QWidget, public PanelView {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Client height: 435 in detail mode, 150 otherwise.
  void setDetailMode(bool detail);

  // PanelView
  void setText(PanelText id, std::string_view text) override;
  LedModel* findLed(std::string_view name) override;
  void setSliderValue(int level, int value) override;
  void setSliderEnabled(int level, bool enabled) override;
  void setSliderToolTip(int level, std::string_view text) override;
  int batteryItem() const override;
  bool autoChecked() const override;
  void setVariantButtonDown(int tag) override;
  bool endpointChecked() const override;
  void setEndpointChecked(bool checked) override;

  // The control of that object name, or null.
  QWidget* control(const QString& name) const;
  // Shows the window restored and raises it: what a second instance asks for.
  void showRestoredAndRaise();
  // The application's title, shown as the tray icon's tooltip.
  void setApplicationTitle(const QString& title);
  // A click (`doubleClick` false) or double click on the tray icon: a click restores a hidden
  // window; a double click restores a hidden window or hides a shown one. The click that opens
  // a double click has already restored the window, so that double click leaves it shown.
  void trayActivated(bool doubleClick);

  std::function<bool()> closeHandler;  // true: the close goes on

 signals:
  void ledClicked(const QString& name);
  void autoClicked();
  void sliderChanged(int level, int value);
  void variantClicked(int tag);
  void endpointClicked();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* build(const ControlSpec& item);
  void setUpTray();

  std::map<QString, QWidget*> controls_;
  std::map<std::string, LedIndicator*, std::less<>> leds_;
  std::array<QWidget*, kPanelTextCount> displays_{};
  std::array<std::string, kPanelTextCount> shown_;  // the text each display was last given
  std::array<RxSlider*, 3> sliders_{};
  QButtonGroup variants_;
  QCheckBox* cbCT13_ = nullptr;
  QCheckBox* cbAut_ = nullptr;
  QComboBox* cbBat_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QString applicationTitle_;
  TrayClickRule trayRule_;
};

// The window's own 32 x 32 icon.
QIcon simulatorIcon();

}  // namespace vexa
