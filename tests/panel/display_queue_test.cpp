// A thread raises a million display updates as fast as it can while the GUI thread runs its
// timers and applies them to the real window: the window ends showing the last texts, the
// memory stays flat, and the GUI timer keeps ticking.
#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>
#include <charconv>
#include <fstream>
#include <thread>

#include "display_pump.h"
#include "main_window.h"

namespace vexa {

namespace {
long residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
  }
  return 0;
}
}  // namespace

class DisplayQueueTest : public QObject {
  Q_OBJECT

 private slots:
  void keepsOnlyTheLatestInOrderOfLatestUpdate() {
    int wakes = 0;
    DisplayQueue queue([&wakes] { ++wakes; });
    queue.setPanelText(PanelText::stRx1, "a");
    queue.setPanelText(PanelText::stTx1, "b");
    queue.setPanelText(PanelText::stRx1, "c");
    QCOMPARE(wakes, 1);
    std::vector<std::pair<PanelText, std::string>> applied;
    queue.drain([&](PanelText id, const std::string& text) { applied.emplace_back(id, text); });
    const std::vector<std::pair<PanelText, std::string>> expected = {{PanelText::stTx1, "b"},
                                                                     {PanelText::stRx1, "c"}};
    QVERIFY(applied == expected);
    applied.clear();
    queue.drain([&](PanelText id, const std::string& text) { applied.emplace_back(id, text); });
    QVERIFY(applied.empty());
    queue.setPanelText(PanelText::stVrs1, "1.10");
    QCOMPARE(wakes, 2);
  }

  void aFloodLeavesTheWindowResponsive() {
    MainWindow window;
    window.setDetailMode(true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    DisplayPump pump([&window](PanelText id, const std::string& t) { window.setText(id, t); });
    DisplayQueue& queue = pump.queue();

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worstGap = 0;
    int ticks = 0;
    QTimer tmr2;
    tmr2.setInterval(10);
    connect(&tmr2, &QTimer::timeout, this, [&] {
      const qint64 now = clock.elapsed();
      worstGap = std::max(worstGap, now - last);
      last = now;
      ++ticks;
    });
    tmr2.start();

    const long before = residentKiB();
    std::atomic<bool> done{false};
    constexpr int kUpdates = 1000000;
    const PanelText ids[] = {PanelText::stRx1, PanelText::stTx1, PanelText::stTx2, PanelText::stTx3,
                             PanelText::stVrs1};
    std::thread listener([&] {
      // Formatted into a fixed buffer, as the handler reuses its own: what grows is the queue's.
      char text[32] = "update ";
      for (int i = 0; i < kUpdates; ++i) {
        char* end = std::to_chars(text + 7, text + sizeof text, i).ptr;
        queue.setPanelText(ids[i % 5], std::string_view(text, static_cast<size_t>(end - text)));
      }
      done = true;
    });
    while (!done) QTest::qWait(5);
    listener.join();
    QTest::qWait(50);
    tmr2.stop();

    QCOMPARE(window.findChild<QPlainTextEdit*>("stRx1")->toPlainText(), QString("update 999995"));
    QCOMPARE(window.findChild<QPlainTextEdit*>("stTx3")->toPlainText(), QString("update 999998"));
    QCOMPARE(window.findChild<QLabel*>("stVrs1")->text(), QString("update 999999"));
    qInfo("resident growth %ld KiB", residentKiB() - before);
    QVERIFY2(residentKiB() - before < 16 * 1024, "memory grew under the flood");
    QVERIFY(ticks > 0);
    // How responsive the GUI thread stayed is printed, its target is in bench/README.md; the
    // bound only catches a GUI thread the flood blocked for good.
    qInfo("worst gap between 10 ms ticks under the flood: %lld ms", worstGap);
    QVERIFY2(worstGap < 30000, qPrintable(QString("worst timer gap %1 ms").arg(worstGap)));
  }
};

}  // namespace vexa

QTEST_MAIN(vexa::DisplayQueueTest)
#include "display_queue_test.moc"
