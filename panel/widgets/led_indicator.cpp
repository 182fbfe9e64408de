#include "led_indicator.h"

#include <QMouseEvent>
#include <QPainter>

#include "fonts.h"

namespace vexa {

LedIndicator::LedIndicator(QWidget* parent) : QWidget(parent) {
  resize(16, 16);
  model_.onRepaint = [this] {
    ++repaintRequests_;
    update();
  };
  model_.OnClick = [this](LedModel&) { emit OnClick(this); };
}

void LedIndicator::setCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void LedIndicator::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  p.fillRect(r, toQColor(model_.shownColor()));
  // One-pixel raised bevel.
  p.setPen(Qt::white);
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(QColor(128, 128, 128));
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
  p.setPen(isEnabled() ? palette().color(QPalette::WindowText) : QColor(128, 128, 128));
  p.setFont(font());
  p.drawText(r, Qt::AlignCenter, caption_);
}

void LedIndicator::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  QWidget::mousePressEvent(event);
}

void LedIndicator::mouseReleaseEvent(QMouseEvent* event) {
  // A click is a press and a release of the primary button, both inside the LED.
  if (event->button() == Qt::LeftButton && pressed_) {
    pressed_ = false;
    if (rect().contains(event->position().toPoint())) model_.click();
  }
  QWidget::mouseReleaseEvent(event);
}

void LedIndicator::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) model_.setEnabled(isEnabled());
  QWidget::changeEvent(event);
}

}  // namespace vexa
