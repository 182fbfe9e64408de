// The message dialog driven as a user would: buttons, accelerators, keys, size, place, timer.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "message_dialog.h"

namespace vexa {

class MessageDialogTest : public QObject {
  Q_OBJECT

 private:
  // Runs `action` on the dialog once it is up, then returns NrmMessage's answer.
  std::optional<bool> answerWith(int mode, int timeout, std::function<void(MessageDialog*)> action,
                                 QWidget* owner = nullptr) {
    QTimer::singleShot(50, this, [action] {
      auto* dialog = qobject_cast<MessageDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      action(dialog);
    });
    return NrmMessage("Modbus\rErro na abertura da porta 5010", colors::kRed, timeout, mode, owner);
  }

 private slots:
  void buttonsAnswer() {
    QCOMPARE(
        answerWith(0, 10, [](MessageDialog* d) { QTest::mouseClick(d->btOK(), Qt::LeftButton); }),
        std::optional<bool>(true));
    QCOMPARE(
        answerWith(1, 0, [](MessageDialog* d) { QTest::mouseClick(d->btSim(), Qt::LeftButton); }),
        std::optional<bool>(true));
    QCOMPARE(
        answerWith(1, 0, [](MessageDialog* d) { QTest::mouseClick(d->btNao(), Qt::LeftButton); }),
        std::optional<bool>(false));
  }

  void acceleratorsPressTheShownButtons() {
    QCOMPARE(
        answerWith(0, 0, [](MessageDialog* d) { QTest::keyClick(d, Qt::Key_O, Qt::AltModifier); }),
        std::optional<bool>(true));
    QCOMPARE(
        answerWith(1, 0, [](MessageDialog* d) { QTest::keyClick(d, Qt::Key_N, Qt::AltModifier); }),
        std::optional<bool>(false));
    QCOMPARE(
        answerWith(1, 0, [](MessageDialog* d) { QTest::keyClick(d, Qt::Key_S, Qt::AltModifier); }),
        std::optional<bool>(true));
  }

  void enterPressesTheFocusedButtonAndEscDoesNothing() {
    QCOMPARE(answerWith(1, 0,
                        [](MessageDialog* d) {
                          QTest::keyClick(d, Qt::Key_Escape);
                          QVERIFY(d->isVisible());
                          QVERIFY(d->btSim()->hasFocus());
                          d->btNao()->setFocus();
                          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                        }),
             std::optional<bool>(false));
    QCOMPARE(answerWith(0, 0,
                        [](MessageDialog*) {
                          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
                        }),
             std::optional<bool>(true));
  }

  void sizePerModeAndPlaceOverTheOwner() {
    QWidget owner;
    owner.setGeometry(100, 80, 650, 435);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    for (int mode : {0, 1, 2}) {
      QSize size;
      QPoint place;
      answerWith(
          mode, 5,
          [&](MessageDialog* d) {
            size = d->size();
            place = d->pos();
            QCOMPARE(d->message()->text(), QString("Modbus\nErro na abertura da porta 5010"));
            QCOMPARE(d->btOK()->isVisible(), mode == 0);
            QCOMPARE(d->btSim()->isVisible(), mode == 1);
            d->close();
          },
          &owner);
      QCOMPARE(size, QSize(471, mode == 2 ? 196 : 231));
      const QRect f = owner.frameGeometry();
      QCOMPARE(place,
               QPoint(f.x() + (f.width() - 471) / 2, f.y() + (f.height() - size.height()) / 2));
    }
  }

  void theCountdownClosesWithFalse() {
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(NrmMessage("tempo", colors::kRed, 1, 2), std::optional<bool>(false));
    QVERIFY(clock.elapsed() >= 900);   // it waited for its second
    QVERIFY(clock.elapsed() < 30000);  // and then closed: only a hang is caught
  }

  void aDialogNobodyCanCloseIsRefused() {
    QCOMPARE(NrmMessage("x", colors::kRed, 0, 2), std::nullopt);
    QVERIFY(!QApplication::activeModalWidget());
  }
};

}  // namespace vexa

QTEST_MAIN(vexa::MessageDialogTest)
#include "message_dialog_test.moc"
