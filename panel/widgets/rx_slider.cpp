#include "rx_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vexa {

namespace {
QRect toQRect(const SliderModel::Rect& r) {
  return QRect(r.x, r.y, r.width, r.height);
}

SliderModel::Key keyOf(int key) {
  switch (key) {
    case Qt::Key_Home:
      return SliderModel::Key::Home;
    case Qt::Key_End:
      return SliderModel::Key::End;
    case Qt::Key_Up:
      return SliderModel::Key::Up;
    case Qt::Key_Down:
      return SliderModel::Key::Down;
    case Qt::Key_Left:
      return SliderModel::Key::Left;
    case Qt::Key_Right:
      return SliderModel::Key::Right;
    default:
      return SliderModel::Key::Other;
  }
}

void bevel(QPainter& p, const QRect& r, bool raised) {
  p.setPen(raised ? Qt::white : QColor(128, 128, 128));
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(raised ? QColor(128, 128, 128) : Qt::white);
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
}
}  // namespace

RxSlider::RxSlider(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  resize(150, 40);
  repeat_.setInterval(SliderModel::kRepeatMilliseconds);
  connect(&repeat_, &QTimer::timeout, this, [this] { model_.repeatTick(); });
  model_.onRepaint = [this] { update(); };
  model_.onFocusRequest = [this] { setFocus(Qt::MouseFocusReason); };
  model_.onRepeatTimer = [this](bool on) {
    if (on) {
      repeat_.start();
    } else {
      repeat_.stop();
    }
  };
  model_.OnChange = [this](SliderModel&) { emit OnChange(this); };
  model_.OnChanged = [this](SliderModel&) { emit OnChanged(this); };
}

void RxSlider::resizeEvent(QResizeEvent* event) {
  model_.setSize(width(), height());
  QWidget::resizeEvent(event);
}

void RxSlider::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) model_.setEnabled(isEnabled());
  QWidget::changeEvent(event);
}

void RxSlider::focusInEvent(QFocusEvent* event) {
  update();
  QWidget::focusInEvent(event);
}

void RxSlider::focusOutEvent(QFocusEvent* event) {
  update();
  QWidget::focusOutEvent(event);
}

void RxSlider::drawThumb(QPainter& p, const SliderModel::Rect& r) const {
  const QRect t = toQRect(r);
  // The thumb's second look (pressed or disabled) is a darker face.
  const bool second = model_.dragging() || !model_.enabled();
  p.fillRect(t, second ? QColor(160, 160, 160) : palette().color(QPalette::Button));
  bevel(p, t, !model_.dragging());
  p.setPen(QColor(64, 64, 64));
  if (model_.orientation() == SliderModel::Orientation::soVertical) {
    p.drawLine(t.left() + 3, t.center().y(), t.right() - 3, t.center().y());
  } else {
    p.drawLine(t.center().x(), t.top() + 3, t.center().x(), t.bottom() - 3);
  }
}

void RxSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect all = rect();
  p.fillRect(all, palette().color(QPalette::Window));
  if (model_.bevel() == SliderModel::Bevel::Raised ||
      model_.bevel() == SliderModel::Bevel::Lowered) {
    bevel(p, all.adjusted(0, 0, -1, -1), model_.bevel() == SliderModel::Bevel::Raised);
  }
  const SliderModel::Rect ruler = model_.rulerRect();
  const QRect r = toQRect(ruler);
  p.fillRect(r, Qt::white);
  bevel(p, r.adjusted(0, 0, -1, -1), false);
  const bool vertical = model_.orientation() == SliderModel::Orientation::soVertical;
  if (model_.options().soShowPoints) {
    p.setPen(palette().color(QPalette::WindowText));
    for (const SliderModel::TickMark& mark : model_.tickMarks()) {
      if (vertical) {
        const int y = ruler.y + mark.offset;
        p.drawLine(r.left() - 3 - mark.length, y, r.left() - 3, y);
      } else {
        const int x = ruler.x + mark.offset;
        p.drawLine(x, r.bottom() + 3, x, r.bottom() + 3 + mark.length);
      }
    }
  }
  drawThumb(p, model_.thumbRect());
  if (model_.options().soShowFocus && hasFocus()) {
    p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
    p.drawRect(all.adjusted(2, 2, -3, -3));
  }
}

void RxSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QPoint pos = event->position().toPoint();
    model_.mousePress(pos.x(), pos.y());
  }
}

void RxSlider::mouseDoubleClickEvent(QMouseEvent*) {}

void RxSlider::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  model_.mouseMove(pos.x(), pos.y());
}

void RxSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) model_.mouseRelease();
}

void RxSlider::keyPressEvent(QKeyEvent* event) {
  const bool modifier = (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                               Qt::AltModifier | Qt::MetaModifier)) != 0;
  if (model_.keyPress(keyOf(event->key()), modifier)) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace vexa
