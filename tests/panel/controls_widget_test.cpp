// Real mouse and key events reach the LED and slider models through their widgets.
#include <QSignalSpy>
#include <QtTest>

#include "led_indicator.h"
#include "model_view.h"
#include "rx_slider.h"

namespace vexa {

class ControlsWidgetTest : public QObject {
  Q_OBJECT

 private:
  // A shown vertical 0..600 slider laid out as the panel's battery slider.
  std::unique_ptr<RxSlider> batterySlider() {
    auto slider = std::make_unique<RxSlider>();
    configureLevelSlider(slider->model(), 0);
    slider->resize(41, 103);
    slider->show();
    if (!QTest::qWaitForWindowExposed(slider.get())) return nullptr;
    return slider;
  }
  static QPoint thumbCentre(const RxSlider& s) {
    const auto t = s.model().thumbRect();
    return QPoint(t.x + t.width / 2, t.y + t.height / 2);
  }

 private slots:
  void dragFromBottomToTopGives600() {
    auto slider = batterySlider();
    QVERIFY(slider);
    QSignalSpy change(slider.get(), &RxSlider::OnChange);
    QSignalSpy changed(slider.get(), &RxSlider::OnChanged);
    QPoint at = thumbCentre(*slider);
    QTest::mousePress(slider.get(), Qt::LeftButton, Qt::NoModifier, at);
    QVERIFY(slider->hasFocus());
    std::vector<int> seen;
    connect(slider.get(), &RxSlider::OnChange, this,
            [&](RxSlider* s) { seen.push_back(s->Value()); });
    for (int y = at.y(); y >= -10; --y) QTest::mouseMove(slider.get(), QPoint(at.x(), y));
    QTest::mouseRelease(slider.get(), Qt::LeftButton, Qt::NoModifier, QPoint(at.x(), -10));
    QCOMPARE(slider->Value(), 600);
    QCOMPARE(static_cast<size_t>(change.count()), seen.size());
    for (size_t i = 1; i < seen.size(); ++i) QVERIFY(seen[i] > seen[i - 1]);  // each value once
    QCOMPARE(changed.count(), 1);
  }

  void rulerClickAboveStepsNowAndAfter400ms() {
    auto slider = batterySlider();
    QVERIFY(slider);
    const auto ruler = slider->model().rulerRect();
    const QPoint above(ruler.x + 1, ruler.y + 3);
    QTest::mousePress(slider.get(), Qt::LeftButton, Qt::NoModifier, above);
    QCOMPARE(slider->Value(), 5);
    QTest::qWait(200);
    QCOMPARE(slider->Value(), 5);
    QTRY_COMPARE_WITH_TIMEOUT(slider->Value(), 10, 1000);
    QTest::mouseRelease(slider.get(), Qt::LeftButton, Qt::NoModifier, above);
    QTest::qWait(500);
    QCOMPARE(slider->Value(), 10);
  }

  void homeEndAndArrows() {
    auto slider = batterySlider();
    QVERIFY(slider);
    slider->setFocus();
    slider->setValue(300);
    QSignalSpy changed(slider.get(), &RxSlider::OnChanged);
    QTest::keyClick(slider.get(), Qt::Key_End);
    QCOMPARE(slider->Value(), 600);
    QTest::keyClick(slider.get(), Qt::Key_Home);
    QCOMPARE(slider->Value(), 0);
    QTest::keyClick(slider.get(), Qt::Key_Up);
    QCOMPARE(slider->Value(), 5);
    QTest::keyClick(slider.get(), Qt::Key_Up, Qt::ControlModifier);  // modifiers pass the key on
    QCOMPARE(slider->Value(), 5);
    QCOMPARE(changed.count(), 3);
  }

  void disabledSliderIgnoresTheOperator() {
    auto slider = batterySlider();
    QVERIFY(slider);
    slider->setEnabled(false);
    QTest::mousePress(slider.get(), Qt::LeftButton, Qt::NoModifier, thumbCentre(*slider));
    QTest::mouseMove(slider.get(), QPoint(20, 0));
    QTest::mouseRelease(slider.get(), Qt::LeftButton);
    QTest::keyClick(slider.get(), Qt::Key_End);
    QCOMPARE(slider->Value(), 0);
    QSignalSpy change(slider.get(), &RxSlider::OnChange);
    slider->setValue(250);
    QCOMPARE(slider->Value(), 250);
    QCOMPARE(change.count(), 1);
  }

  void ledClicks() {
    LedIndicator led;
    led.resize(71, 19);
    led.show();
    QVERIFY(QTest::qWaitForWindowExposed(&led));
    QSignalSpy clicks(&led, &LedIndicator::OnClick);
    QTest::mouseClick(&led, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).value<LedIndicator*>(), &led);
    QVERIFY(!led.model().LedOn());
    QTest::mouseClick(&led, Qt::RightButton);
    QCOMPARE(clicks.count(), 1);
    led.setEnabled(false);
    QTest::mouseClick(&led, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
  }

  void anLedClicksOnAPressAndReleaseInsideIt() {
    LedIndicator led;
    led.resize(71, 19);
    led.show();
    QVERIFY(QTest::qWaitForWindowExposed(&led));
    QSignalSpy clicks(&led, &LedIndicator::OnClick);
    QTest::mousePress(&led, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(clicks.count(), 0);                                     // nothing on the press alone
    QTest::mouseRelease(&led, Qt::LeftButton, {}, QPoint(200, 10));  // released outside
    QCOMPARE(clicks.count(), 0);
    QTest::mousePress(&led, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&led, Qt::LeftButton, {}, QPoint(70, 18));  // inside, at the edge
    QCOMPARE(clicks.count(), 1);
    QTest::mouseRelease(&led, Qt::LeftButton, {}, QPoint(10, 10));  // a release without a press
    QCOMPARE(clicks.count(), 1);
  }

  void ledRepaintsOnlyWhenTheColourChanges() {
    LedIndicator led;
    const int before = led.repaintRequests();
    for (int i = 0; i < 10; ++i) led.model().setLedOn(false);
    QCOMPARE(led.repaintRequests(), before);
    led.model().setLedOn(true);
    led.model().setLedOn(true);
    QCOMPARE(led.repaintRequests(), before + 1);
  }
};

}  // namespace vexa

QTEST_MAIN(vexa::ControlsWidgetTest)
#include "controls_widget_test.moc"
