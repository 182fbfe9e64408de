#include "main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>

#include "fonts.h"
#include "model_view.h"

namespace vexa {

namespace {

Qt::Alignment alignmentOf(ControlSpec::Align a) {
  const Qt::Alignment horizontal = a == ControlSpec::Align::Left    ? Qt::AlignLeft
                                   : a == ControlSpec::Align::Right ? Qt::AlignRight
                                                                    : Qt::AlignHCenter;
  return horizontal | Qt::AlignVCenter;
}

void fill(QWidget* w, QPalette::ColorRole role, Rgb colour) {
  QPalette p = w->palette();
  p.setColor(role, toQColor(colour));
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

PanelText displayOf(const QString& name) {
  for (size_t i = 0; i < kPanelTextCount; ++i) {
    const auto id = static_cast<PanelText>(i);
    if (name ==
        QLatin1String(panelTextName(id).data(), static_cast<qsizetype>(panelTextName(id).size()))) {
      return id;
    }
  }
  return PanelText::kCount;
}

}  // namespace

QIcon simulatorIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 0, 128), 2));
  p.setBrush(QColor(192, 192, 192));
  p.drawRoundedRect(QRectF(3, 6, 26, 20), 3, 3);  // the unit's case
  p.setBrush(QColor(192, 255, 255));
  p.drawRect(QRectF(7, 10, 12, 7));  // its display
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 255, 0));
  p.drawEllipse(QRectF(21, 11, 5, 5));  // a lit LED
  p.setBrush(QColor(0, 0, 128));
  for (int i = 0; i < 3; ++i) p.drawRect(QRectF(8 + 6 * i, 20, 4, 3));
  return QIcon(pixmap);
}

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
  setObjectName("frVXS01");
  setFont(arialFont(13, true));
  setWindowIcon(simulatorIcon());
  variants_.setExclusive(true);
  for (const ControlSpec& item : mainWindowLayout()) {
    QWidget* w = build(item);
    w->setObjectName(item.name);
    w->setGeometry(item.x, item.y, item.width, item.height);
    w->setFont(item.font.mono ? monoFont(item.font.pixels, item.font.bold)
                              : arialFont(item.font.pixels, item.font.bold));
    w->setEnabled(item.enabled);
    controls_[item.name] = w;
    const PanelText id = displayOf(item.name);
    if (id != PanelText::kCount) displays_[static_cast<size_t>(id)] = w;
  }
  const auto order = mainWindowTabOrder();
  for (size_t i = 0; i + 1 < order.size(); ++i) {
    setTabOrder(controls_.at(order[i]), controls_.at(order[i + 1]));
  }
  setDetailMode(false);
  qApp->installEventFilter(this);
  setUpTray();
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
}

QWidget* MainWindow::build(const ControlSpec& item) {
  const QString text = QString::fromUtf8(item.text);
  switch (item.kind) {
    case ControlSpec::Kind::Led: {
      auto* led = new LedIndicator(this);
      configureLed(led->model(), item.name);
      led->setCaption(text);
      leds_[item.name] = led;
      if (item.tag >= 0) {
        connect(led, &LedIndicator::OnClick, this,
                [this](LedIndicator* sender) { emit ledClicked(sender->objectName()); });
      }
      return led;
    }
    case ControlSpec::Kind::CheckBox: {
      auto* box = new QCheckBox(text, this);
      if (QString(item.name) == "cbCT13") {
        cbCT13_ = box;
        box->setChecked(true);
        // Any change of its state runs the click handler, also one made by the program.
        connect(box, &QCheckBox::toggled, this, [this] { emit endpointClicked(); });
      } else {
        cbAut_ = box;
        connect(box, &QCheckBox::toggled, this, [this] { emit autoClicked(); });
      }
      return box;
    }
    case ControlSpec::Kind::SpeedButton: {
      auto* button = new QToolButton(this);
      button->setText(text);
      button->setCheckable(true);
      button->setChecked(item.tag == 4);
      button->setFocusPolicy(Qt::NoFocus);
      variants_.addButton(button, item.tag);
      connect(button, &QToolButton::clicked, this,
              [this, tag = item.tag] { emit variantClicked(tag); });
      return button;
    }
    case ControlSpec::Kind::Label:
    case ControlSpec::Kind::StaticText: {
      auto* label = new QLabel(text, this);
      label->setAlignment(alignmentOf(item.align));
      label->setTextFormat(Qt::PlainText);
      if (item.sunken) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
      }
      if (item.background) fill(label, QPalette::Window, *item.background);
      return label;
    }
    case ControlSpec::Kind::ComboBox: {
      cbBat_ = new QComboBox(this);
      cbBat_->setEditable(true);
      cbBat_->setInsertPolicy(QComboBox::NoInsert);  // the list keeps its three items
      cbBat_->addItems({"  60 V", " 120 V", " 240 V"});
      fill(cbBat_, QPalette::Base, *item.background);
      fill(cbBat_, QPalette::Button, *item.background);
      return cbBat_;
    }
    case ControlSpec::Kind::Slider: {
      auto* slider = new RxSlider(this);
      configureLevelSlider(slider->model(), item.tag);
      sliders_[static_cast<size_t>(item.tag)] = slider;
      connect(slider, &RxSlider::OnChange, this,
              [this, level = item.tag](RxSlider* s) { emit sliderChanged(level, s->Value()); });
      return slider;
    }
    case ControlSpec::Kind::Memo: {
      auto* memo = new QPlainTextEdit(this);
      memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
      memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      memo->setTabChangesFocus(true);
      fill(memo, QPalette::Base, *item.background);
      return memo;
    }
  }
  return new QWidget(this);
}

void MainWindow::setUpTray() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  tray_ = new QSystemTrayIcon(simulatorIcon(), this);
  tray_->setToolTip(applicationTitle_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick) {
      trayActivated(r == QSystemTrayIcon::DoubleClick);
    }
  });
}

void MainWindow::setApplicationTitle(const QString& title) {
  applicationTitle_ = title;
  if (tray_) tray_->setToolTip(title);
}

void MainWindow::trayActivated(bool doubleClick) {
  static QElapsedTimer clock;
  if (!clock.isValid()) clock.start();
  const bool hidden = isHidden();
  const TrayClickRule::Action action =
      doubleClick
          ? trayRule_.doubleClick(hidden, clock.elapsed(), QApplication::doubleClickInterval())
          : trayRule_.click(hidden, clock.elapsed());
  if (action == TrayClickRule::Action::Restore) showRestoredAndRaise();
  if (action == TrayClickRule::Action::Hide) hide();
}

void MainWindow::setDetailMode(bool detail) {
  setFixedSize(kClientWidth, detail ? kDetailHeight : kCompactHeight);
}

void MainWindow::setText(PanelText id, std::string_view text) {
  const auto index = static_cast<size_t>(id);
  QWidget* w = displays_[index];
  if (!w) return;
  auto* memo = qobject_cast<QPlainTextEdit*>(w);
  // A text equal to what the display shows now repaints nothing. A traffic box the operator
  // has edited since it was last written no longer shows that text, so it is replaced.
  const bool edited = memo && memo->document()->isModified();
  if (shown_[index] == text && !edited) return;
  shown_[index].assign(text);
  // Texts are 8-bit bytes; Latin-1 maps each byte to one character.
  const QString value = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(value);
  } else if (memo) {
    memo->setPlainText(value);  // also marks the document unmodified
  }
}

LedModel* MainWindow::findLed(std::string_view name) {
  const auto it = leds_.find(name);
  return it == leds_.end() ? nullptr : &it->second->model();
}

void MainWindow::setSliderValue(int level, int value) {
  sliders_[static_cast<size_t>(level)]->setValue(value);
}

void MainWindow::setSliderEnabled(int level, bool enabled) {
  sliders_[static_cast<size_t>(level)]->setEnabled(enabled);
}

void MainWindow::setSliderToolTip(int level, std::string_view text) {
  sliders_[static_cast<size_t>(level)]->setToolTip(
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

int MainWindow::batteryItem() const {
  // An edited text that is not the selected item's selects no item.
  const int index = cbBat_->currentIndex();
  return index >= 0 && cbBat_->currentText() == cbBat_->itemText(index) ? index : -1;
}
bool MainWindow::autoChecked() const {
  return cbAut_->isChecked();
}

void MainWindow::setVariantButtonDown(int tag) {
  if (auto* b = variants_.button(tag)) b->setChecked(true);
}

bool MainWindow::endpointChecked() const {
  return cbCT13_->isChecked();
}
void MainWindow::setEndpointChecked(bool checked) {
  cbCT13_->setChecked(checked);
}

QWidget* MainWindow::control(const QString& name) const {
  const auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second;
}

void MainWindow::showRestoredAndRaise() {
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closeHandler && !closeHandler()) {
    event->ignore();
    return;
  }
  if (tray_) tray_->hide();
  event->accept();
}

void MainWindow::changeEvent(QEvent* event) {
  // Minimising hides the window into the notification area where the desktop has one.
  if (event->type() == QEvent::WindowStateChange && tray_ && isMinimized()) {
    tray_->show();
    QTimer::singleShot(0, this, &QWidget::hide);
  }
  QWidget::changeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return QWidget::eventFilter(watched, event);
  // A key press reaches the focus widget first and may then travel to its parents: look at
  // it once, at its first delivery, whichever control has the focus.
  QWidget* focus = QApplication::focusWidget();
  if (widget != (focus ? focus : this)) return QWidget::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  const auto mods = key->modifiers();
  if (key->key() == Qt::Key_End && (mods & Qt::ControlModifier) && (mods & Qt::ShiftModifier)) {
    // The key still goes on to the control; the close follows from the event loop.
    QTimer::singleShot(0, this, &QWidget::close);
  }
  // The traffic boxes do not take Enter.
  if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
      qobject_cast<QPlainTextEdit*>(widget)) {
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace vexa
