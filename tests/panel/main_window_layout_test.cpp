// Every control of the main window, found by object name, against the window's control table
// written out here on its own: class, geometry, text, font, colour, enabled state, visibility
// at both client heights, and the tab order. Offscreen; no pixels compared.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QtTest>

#include "../support/temp_dir.h"
#include "../unit/fake_unit_clock.h"
#include "led_indicator.h"
#include "main_window.h"
#include "presenter.h"
#include "rx_slider.h"

namespace vexa {

namespace {
struct Expected {
  const char* name;
  const char* cls;
  int x, y, w, h;
  const char* text;
  char font;  // 'A' Arial bold, 'a' Arial regular, 'M' mono bold, 'm' mono regular
  int pixels;
  const char* background;  // "" when the control sets none
  bool enabled;
};

// clang-format off
const Expected kControls[] = {
  {"ldUDP", "vexa::LedIndicator", 20, 15, 41, 20, " ", 'A', 13, "", true},
  {"cbCT13", "QCheckBox", 35, 40, 16, 20, "", 'A', 13, "", true},
  {"sbCod2", "QToolButton", 20, 65, 41, 22, "110", 'A', 13, "", true},
  {"sbCod3", "QToolButton", 20, 90, 41, 22, "130", 'A', 13, "", true},
  {"sbCod4", "QToolButton", 20, 115, 41, 22, "150", 'A', 13, "", true},
  {"Label1", "QLabel", 75, 5, 166, 22, "endereço", 'A', 13, "", true},
  {"stIP", "QLabel", 75, 25, 166, 20, "000.000.000.000", 'M', 16, "#c0ffff", true},
  {"Label2", "QLabel", 75, 50, 166, 22, "máscara", 'A', 13, "", true},
  {"stMsk", "QLabel", 75, 70, 166, 20, "000.000.000.000", 'M', 16, "#c0ffff", true},
  {"Label3", "QLabel", 75, 95, 166, 22, "\"gateway\"", 'A', 13, "", true},
  {"stGW", "QLabel", 75, 115, 166, 20, "000.000.000.000", 'M', 16, "#c0ffff", true},
  {"ldRst", "vexa::LedIndicator", 270, 15, 41, 20, "reset", 'a', 13, "", false},
  {"cbBat", "QComboBox", 320, 14, 71, 24, "  60 V", 'A', 13, "#c0dcc0", true},
  {"cbAut", "QCheckBox", 405, 15, 46, 20, "auto", 'A', 13, "", true},
  {"Label113", "QLabel", 265, 55, 16, 19, "0", 'A', 12, "", true},
  {"Label114", "QLabel", 265, 75, 16, 19, "1", 'A', 12, "", true},
  {"Label115", "QLabel", 265, 95, 16, 19, "2", 'A', 12, "", true},
  {"Label116", "QLabel", 265, 115, 16, 19, "3", 'A', 12, "", true},
  {"Label117", "QLabel", 365, 55, 16, 19, "4", 'A', 12, "", true},
  {"Label118", "QLabel", 365, 75, 16, 19, "5", 'A', 12, "", true},
  {"Label119", "QLabel", 365, 95, 16, 19, "6", 'A', 12, "", true},
  {"Label120", "QLabel", 365, 115, 16, 19, "7", 'A', 12, "", true},
  {"Ld00", "vexa::LedIndicator", 280, 55, 71, 19, "presença", 'a', 13, "", true},
  {"Ld01", "vexa::LedIndicator", 280, 75, 71, 19, "reset", 'a', 13, "", false},
  {"Ld02", "vexa::LedIndicator", 280, 95, 71, 19, "rede", 'a', 13, "", true},
  {"Ld03", "vexa::LedIndicator", 280, 115, 71, 19, "rede2", 'a', 13, "", true},
  {"Ld04", "vexa::LedIndicator", 380, 55, 71, 19, "rede3", 'a', 13, "", true},
  {"Ld05", "vexa::LedIndicator", 380, 75, 71, 19, "reserva", 'a', 13, "", true},
  {"Ld06", "vexa::LedIndicator", 380, 95, 71, 19, "reserva", 'a', 13, "", true},
  {"Ld07", "vexa::LedIndicator", 380, 115, 71, 19, "reserva", 'a', 13, "", true},
  {"stNv00", "QLabel", 470, 10, 51, 20, "00000", 'A', 16, "#c0ffff", true},
  {"stNv01", "QLabel", 525, 10, 51, 20, "00000", 'A', 16, "#c0ffff", true},
  {"stNv02", "QLabel", 580, 10, 51, 20, "00000", 'A', 16, "#c0ffff", true},
  {"slNv00", "vexa::RxSlider", 475, 35, 41, 103, "", 'A', 13, "", true},
  {"slNv01", "vexa::RxSlider", 530, 35, 41, 103, "", 'A', 13, "", true},
  {"slNv02", "vexa::RxSlider", 585, 35, 41, 103, "", 'A', 13, "", true},
  {"Label6", "QLabel", 10, 155, 31, 19, "mac", 'A', 13, "", true},
  {"stMac", "QLabel", 45, 155, 146, 19, "00-00-00-00-00-00", 'M', 13, "#c0ffff", true},
  {"lbScl", "QLabel", 200, 155, 41, 19, "escala", 'A', 12, "", true},
  {"stScl", "QLabel", 245, 155, 41, 19, "750", 'A', 15, "#c0ffff", true},
  {"Label4", "QLabel", 295, 155, 46, 19, "aj Temp", 'A', 12, "", true},
  {"stAjTp", "QLabel", 345, 155, 41, 19, "10", 'A', 15, "#c0ffff", true},
  {"Label5", "QLabel", 390, 155, 46, 19, "aj Umid", 'A', 12, "", true},
  {"stAjUm", "QLabel", 440, 155, 41, 19, "10", 'A', 15, "#c0ffff", true},
  {"stVrs1", "QLabel", 490, 155, 46, 19, "1.30", 'A', 13, "#c0ffff", true},
  {"stVrs2", "QLabel", 540, 155, 96, 19, "00/00/00 00:00", 'A', 13, "#c0ffff", true},
  {"stRx1", "QPlainTextEdit", 10, 185, 631, 41, "", 'm', 13, "#c0ffff", true},
  {"stTx1", "QPlainTextEdit", 10, 230, 631, 41, "", 'm', 13, "#c0ffff", true},
  {"stTx2", "QPlainTextEdit", 10, 275, 631, 106, "", 'm', 13, "#c0ffff", true},
  {"stTx3", "QPlainTextEdit", 10, 385, 631, 41, "", 'm', 13, "#c0ffff", true},
};
// clang-format on

QString textOf(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->toPlainText();
  if (auto* led = qobject_cast<LedIndicator*>(w)) return led->caption();
  return {};
}

QString backgroundOf(QWidget* w) {
  if (!w->autoFillBackground()) return "";
  const auto role = qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QComboBox*>(w)
                        ? QPalette::Base
                        : QPalette::Window;
  return w->palette().color(role).name();
}
}  // namespace

class MainWindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void everyControlAsLaidOut() {
    MainWindow window;
    int found = 0;
    for (const Expected& e : kControls) {
      QWidget* w = window.findChild<QWidget*>(e.name);
      QVERIFY2(w, e.name);
      ++found;
      QCOMPARE(QString(w->metaObject()->className()), QString(e.cls));
      QCOMPARE(w->geometry(), QRect(e.x, e.y, e.w, e.h));
      QCOMPARE(textOf(w), QString::fromUtf8(e.text));
      const bool mono = e.font == 'M' || e.font == 'm';
      QCOMPARE(w->font().family(), QString(mono ? "Liberation Mono" : "Liberation Sans"));
      QCOMPARE(w->font().bold(), e.font == 'A' || e.font == 'M');
      QCOMPARE(w->font().pixelSize(), e.pixels);
      QCOMPARE(backgroundOf(w), QString(e.background));
      QCOMPARE(w->isEnabled(), e.enabled);
    }
    QCOMPARE(found, static_cast<int>(std::size(kControls)));
  }

  void detailsAreOutOfSightInTheCompactWindow() {
    MainWindow window;
    window.setDetailMode(false);
    QCOMPARE(window.size(), QSize(650, 150));
    for (const Expected& e : kControls) {
      const bool inside = e.y + e.h <= 150;
      QCOMPARE(inside, e.y < 155);  // groups A to D fit, E and F start at 155 or lower
    }
    window.setDetailMode(true);
    QCOMPARE(window.size(), QSize(650, 435));
    for (const Expected& e : kControls) QVERIFY2(e.y + e.h <= 435, e.name);
  }

  void tabOrderAndFocus() {
    MainWindow window;
    window.setDetailMode(true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const char* order[] = {"cbCT13", "slNv00", "slNv01", "slNv02", "cbAut",
                           "stRx1",  "stTx1",  "stTx2",  "stTx3",  "cbBat"};
    window.activateWindow();
    window.findChild<QWidget*>(order[0])->setFocus();
    for (size_t i = 1; i < std::size(order); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QWidget* focus = QApplication::focusWidget();
      QVERIFY(focus);
      // The combo box takes the focus in its line edit.
      if (focus->objectName().isEmpty() && focus->parentWidget()) focus = focus->parentWidget();
      QCOMPARE(focus->objectName(), QString(order[i]));
    }
    for (const char* name : {"sbCod2", "Ld00", "ldUDP", "stIP"}) {
      QCOMPARE(window.findChild<QWidget*>(name)->focusPolicy(), Qt::NoFocus);
    }
  }

  void variantButtonsAreOneExclusiveGroup() {
    MainWindow window;
    auto* b2 = window.findChild<QToolButton*>("sbCod2");
    auto* b4 = window.findChild<QToolButton*>("sbCod4");
    QVERIFY(b4->isChecked());
    QTest::mouseClick(b4, Qt::LeftButton);
    QVERIFY(b4->isChecked());  // pressing the down one leaves it down
    QTest::mouseClick(b2, Qt::LeftButton);
    QVERIFY(b2->isChecked());
    QVERIFY(!b4->isChecked());
    auto* cbBat = window.findChild<QComboBox*>("cbBat");
    QCOMPARE(cbBat->count(), 3);
    QCOMPARE(cbBat->itemText(1), QString(" 120 V"));
    QCOMPARE(cbBat->itemText(2), QString(" 240 V"));
    QVERIFY(cbBat->isEditable());
  }

  void anEditedTrafficBoxIsReplacedByTheSameText() {
    MainWindow window;
    window.setDetailMode(true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* stRx1 = window.findChild<QPlainTextEdit*>("stRx1");
    window.setText(PanelText::stRx1, "rPr000");
    QCOMPARE(stRx1->toPlainText(), QString("rPr000"));
    stRx1->setFocus();
    stRx1->selectAll();
    QTest::keyClicks(stRx1, "XYZ");
    QCOMPARE(stRx1->toPlainText(), QString("XYZ"));
    window.setText(PanelText::stRx1, "rPr000");  // the same request again
    QCOMPARE(stRx1->toPlainText(), QString("rPr000"));
    // Typed after the text without replacing it: still replaced whole.
    stRx1->moveCursor(QTextCursor::End);
    QTest::keyClicks(stRx1, "1");
    window.setText(PanelText::stRx1, "rPr000");
    QCOMPARE(stRx1->toPlainText(), QString("rPr000"));
  }

  void theBatteryListKeepsItsItemsAndAnEditedTextSelectsNone() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* cbBat = window.findChild<QComboBox*>("cbBat");
    QCOMPARE(window.batteryItem(), 0);
    cbBat->lineEdit()->selectAll();
    QTest::keyClicks(cbBat->lineEdit(), "99 V");
    QTest::keyClick(cbBat->lineEdit(), Qt::Key_Return);
    QCOMPARE(cbBat->count(), 3);
    QCOMPARE(window.batteryItem(), -1);
    cbBat->lineEdit()->selectAll();
    QTest::keyClicks(cbBat->lineEdit(), "abc");
    QCOMPARE(window.batteryItem(), -1);
    QCOMPARE(cbBat->count(), 3);
    cbBat->setCurrentIndex(1);  // picked from the list
    QCOMPARE(window.batteryItem(), 1);
    // Typing an item's text exactly and Enter selects that item.
    cbBat->lineEdit()->selectAll();
    QTest::keyClicks(cbBat->lineEdit(), " 240 V");
    QTest::keyClick(cbBat->lineEdit(), Qt::Key_Return);
    QCOMPARE(window.batteryItem(), 2);
    QCOMPARE(cbBat->count(), 3);
  }

  void anEditedBatteryTextKeepsTheBatteryDisplay() {
    testing::TempDir dir;
    testing::FakeUnitClock clock;
    Unit unit(testing::unitSettingsIn(dir, 1), clock);
    unit.load();
    DeviceState& state = unit.state();
    state.locked([](DeviceData& d) { d.live.setNv(0, 595); });
    MainWindow window;
    Presenter presenter(unit, window);
    connect(&window, &MainWindow::sliderChanged, &window,
            [&presenter](int level, int value) { presenter.sliderChange(level, value); });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    presenter.moveLevelSliders();
    presenter.Tmr4Timer();
    auto* stNv00 = window.findChild<QLabel*>("stNv00");
    QCOMPARE(stNv00->text(), QString("59,5"));
    auto* cbBat = window.findChild<QComboBox*>("cbBat");
    cbBat->lineEdit()->selectAll();
    QTest::keyClicks(cbBat->lineEdit(), "abc");
    auto* slNv00 = window.findChild<RxSlider*>("slNv00");
    slNv00->setFocus();
    QTest::keyClick(slNv00, Qt::Key_Home);
    QCOMPARE(state.locked([](const DeviceData& d) { return d.live.Nv(0); }), int16_t{0});
    presenter.Tmr4Timer();
    QCOMPARE(stNv00->text(), QString("59,5"));
  }

  void aDoubleClickOnTheTrayIconRestoresAHiddenWindow() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.hide();
    // A double click arrives as a click and then a double click.
    window.trayActivated(false);
    window.trayActivated(true);
    QVERIFY(window.isVisible());
    // On a shown window a double click hides it; a single click on a shown one does nothing.
    window.trayActivated(false);
    QVERIFY(window.isVisible());
    window.trayActivated(true);
    QVERIFY(window.isHidden());
    window.trayActivated(false);  // a single click restores
    QVERIFY(window.isVisible());
  }

  void ctrlShiftEndClosesFromAnyControl() {
    for (const char* focus : {"slNv01", "stTx2", "cbBat"}) {
      MainWindow window;
      window.setDetailMode(true);
      int closes = 0;
      window.closeHandler = [&closes] {
        ++closes;
        return false;  // keep it open for the next key
      };
      window.show();
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      window.activateWindow();
      window.findChild<QWidget*>(focus)->setFocus();
      QWidget* target = QApplication::focusWidget();
      QVERIFY(target);
      QTest::keyClick(target, Qt::Key_End, Qt::ControlModifier);
      QTest::keyClick(target, Qt::Key_End, Qt::ShiftModifier);
      QTest::qWait(20);
      QCOMPARE(closes, 0);
      QTest::keyClick(target, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
      QTRY_COMPARE(closes, 1);
      QTest::keyClick(target, Qt::Key_End,
                      Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
      QTRY_COMPARE(closes, 2);
    }
  }
};

}  // namespace vexa

QTEST_MAIN(vexa::MainWindowLayoutTest)
#include "main_window_layout_test.moc"
