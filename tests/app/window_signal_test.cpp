#include <QTimer>
#include <QtTest>

#include "main_window.h"
#include "window_app.h"

namespace vexa {

// A signal ends the program the same way whether the window is shown, minimised or hidden.
class WindowSignalTest : public QObject {
  Q_OBJECT

 private slots:
  void aSignalEndsTheLoopInEveryWindowState() {
    for (const char* state : {"shown", "minimised", "hidden"}) {
      MainWindow window;
      int closes = 0;
      window.closeHandler = [&closes] {
        ++closes;
        return true;
      };
      window.show();
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      if (QByteArray(state) == "minimised") window.showMinimized();
      if (QByteArray(state) == "hidden") window.hide();
      QTimer::singleShot(0, &window, [&window] { closeForSignal(window); });
      bool timedOut = false;
      QTimer::singleShot(5000, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(99);
      });
      const int code = QCoreApplication::exec();
      QVERIFY2(!timedOut, state);
      QCOMPARE(code, 0);
      QCOMPARE(closes, 1);
    }
  }

  void aFailedCloseKeepsTheLoopRunning() {
    MainWindow window;
    window.closeHandler = [] { return false; };
    window.hide();
    QTimer::singleShot(0, &window, [&window] { closeForSignal(window); });
    QTimer::singleShot(300, [] { QCoreApplication::exit(7); });
    QCOMPARE(QCoreApplication::exec(), 7);  // only the fallback ended it
  }
};

}  // namespace vexa

QTEST_MAIN(vexa::WindowSignalTest)
#include "window_signal_test.moc"
