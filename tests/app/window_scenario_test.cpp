#include <QtTest>

#include "main_window.h"
#include "rx_slider.h"
#include "scenario_loader.h"
#include "simulator_host.h"
#include "temp_dir.h"

namespace vexa {

// The window's unit under a scenario: a driven slider is disabled with a tooltip naming the
// source, the others stay the operator's, and stopping the scenario gives the slider back.
class WindowScenarioTest : public QObject {
  Q_OBJECT

 private slots:
  void aDrivenSliderIsDisabledWithItsSourceUntilTheScenarioStops() {
    testing::TempDir dir;
    StartupSettings settings;
    settings.paths = StatePaths::forDirectory(dir.path());
    MainWindow window;
    SimulatorHost::Network network;
    network.port = 25390;
    network.bindAddress = "127.0.0.1";
    const ScenarioLoad load = parseScenario(
        R"({"levels": {"temp": {"kind": "sine", "mean": 30, "amplitude": 10, "period": 60}}})");
    QVERIFY(load.ok());
    network.scenario = load.scenario;
    network.scenarioFile = "sine.json";
    SimulatorHost host(
        settings, window, nullptr, [](const std::string&) {}, network);
    host.start();
    QVERIFY(host.scenarioTimerActive());
    auto* temp = window.findChild<RxSlider*>("slNv01");
    auto* umid = window.findChild<RxSlider*>("slNv02");
    QVERIFY(temp && umid);
    QVERIFY(!temp->isEnabled());
    QCOMPARE(temp->toolTip(), QString("Set by the scenario sine"));
    QVERIFY(umid->isEnabled());
    QCOMPARE(umid->toolTip(), QString());
    // The level follows the sine (20..40) and the disabled slider shows it.
    QTest::qWait(250);
    host.presenter().Tmr4Timer();
    const int nv = host.unit().read().nv[1];
    QVERIFY2(nv >= 20 && nv <= 40, QByteArray::number(nv));
    QCOMPARE(temp->Value(), host.unit().sliderPosition(1));

    host.unit().scenario().stop();
    host.presenter().Tmr4Timer();
    QVERIFY(temp->isEnabled());
    QCOMPARE(temp->toolTip(), QString());
    QTRY_VERIFY(!host.scenarioTimerActive());
    host.close();
  }
};

}  // namespace vexa

QTEST_MAIN(vexa::WindowScenarioTest)
#include "window_scenario_test.moc"
