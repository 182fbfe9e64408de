#include "message_dialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "fonts.h"

namespace vexa {

namespace {
QPushButton* makeButton(QWidget* parent, const QString& text, int x) {
  auto* b = new QPushButton(text, parent);
  b->setGeometry(x, 177, 96, 25);
  b->setFont(arialFont(15, true));
  return b;
}
}  // namespace

MessageDialog::MessageDialog(MessageDialogModel model, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint),
      model_(std::move(model)),
      owner_(owner) {
  setObjectName("frNrm01");
  setModal(true);
  setWindowModality(Qt::ApplicationModal);
  setAutoFillBackground(true);
  QPalette navy = palette();
  navy.setColor(QPalette::Window, QColor(0, 0, 128));
  setPalette(navy);

  const MessageDialogModel::Layout layout = model_.layout();
  auto* pnMsg = new QWidget(this);
  pnMsg->setObjectName("pnMsg");
  pnMsg->setAutoFillBackground(true);
  // Set explicitly, or the children would inherit the dialog's navy.
  QPalette face = QApplication::palette();
  face.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
  pnMsg->setPalette(face);
  pnMsg->setGeometry(10, 10, 451, layout.panelHeight);

  auto* clMsg = new QWidget(pnMsg);
  clMsg->setObjectName("ClMsg");
  clMsg->setAutoFillBackground(true);
  QPalette fill = face;
  fill.setColor(QPalette::Window, toQColor(model_.colour()));
  clMsg->setPalette(fill);
  clMsg->setGeometry(10, 10, 431, 156);

  msg1_ = new QLabel(pnMsg);
  msg1_->setObjectName("Msg1");
  msg1_->setGeometry(20, 20, 411, 136);
  msg1_->setAlignment(Qt::AlignCenter);
  msg1_->setWordWrap(true);
  msg1_->setFont(arialFont(16, true));
  msg1_->setAutoFillBackground(true);
  msg1_->setPalette(face);
  msg1_->setTextFormat(Qt::PlainText);
  QString text =
      QString::fromLatin1(model_.text().data(), static_cast<qsizetype>(model_.text().size()));
  msg1_->setText(text.replace('\r', '\n'));

  btSim_ = makeButton(pnMsg, QString::fromUtf8("&SIM"), 115);
  btSim_->setObjectName("btSim");
  btOK_ = makeButton(pnMsg, QString::fromUtf8("&OK"), 180);
  btOK_->setObjectName("btOK");
  btNao_ = makeButton(pnMsg, QString::fromUtf8("&NÃO"), 245);
  btNao_->setObjectName("btNao");
  btSim_->setDefault(true);
  btOK_->setDefault(true);
  btSim_->setVisible(layout.btSim);
  btOK_->setVisible(layout.btOK);
  btNao_->setVisible(layout.btNao);
  setTabOrder(btSim_, btOK_);
  setTabOrder(btOK_, btNao_);
  connect(btSim_, &QPushButton::clicked, this, [this] {
    model_.pressSim();
    finish();
  });
  connect(btOK_, &QPushButton::clicked, this, [this] {
    model_.pressSim();
    finish();
  });
  connect(btNao_, &QPushButton::clicked, this, [this] {
    model_.pressNao();
    finish();
  });

  setFixedSize(MessageDialogModel::kWidth, layout.clientHeight);
  countdown_.setInterval(MessageDialogModel::kTickMilliseconds);
  connect(&countdown_, &QTimer::timeout, this, [this] {
    if (model_.tick()) finish();
  });
  model_.onBeep = [] { QApplication::beep(); };
}

void MessageDialog::showEvent(QShowEvent* event) {
  if (model_.show()) countdown_.start();
  std::optional<MessageDialogModel::Rect> owner;
  if (owner_) {
    const QRect f = owner_->frameGeometry();
    owner = MessageDialogModel::Rect{f.x(), f.y(), f.width(), f.height()};
  }
  const QScreen* screen = owner_ ? owner_->screen() : QGuiApplication::primaryScreen();
  const QRect s = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  const auto at = MessageDialogModel::placement(owner, {s.x(), s.y(), s.width(), s.height()},
                                                width(), height());
  move(at.x, at.y);
  if (model_.layout().btOK) {
    btOK_->setFocus();
  } else if (model_.layout().btSim) {
    btSim_->setFocus();
  }
  QDialog::showEvent(event);
}

void MessageDialog::keyPressEvent(QKeyEvent* event) {
  // None of the buttons is a cancel button: Esc does nothing.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MessageDialog::closeEvent(QCloseEvent* event) {
  model_.pressNao();  // any other way of closing answers false
  countdown_.stop();
  QDialog::closeEvent(event);
}

void MessageDialog::finish() {
  countdown_.stop();
  done(model_.answer() ? QDialog::Accepted : QDialog::Rejected);
}

std::optional<bool> NrmMessage(const std::string& text, Rgb colour, int timeoutSeconds, int mode,
                               QWidget* mainWindow) {
  auto model = MessageDialogModel::create(text, colour, timeoutSeconds, mode);
  if (!model) return std::nullopt;
  MessageDialog dialog(std::move(*model), mainWindow);
  dialog.exec();
  return dialog.model().answer();
}

}  // namespace vexa
