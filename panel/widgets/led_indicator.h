#pragma once

#include <QWidget>

#include "led_model.h"

namespace vexa {

// TLedIndicator: a captioned panel whose fill is the LED model's shown colour. A primary-button
// click (press and release inside the LED) on an enabled LED emits OnClick with the LED; the
// LED never changes its own state.
class LedIndicator : public QWidget {
  Q_OBJECT

 public:
  explicit LedIndicator(QWidget* parent = nullptr);

  LedModel& model() { return model_; }
  const LedModel& model() const { return model_; }
  void setCaption(const QString& caption);
  QString caption() const { return caption_; }
  // Repaints caused by a change of the shown colour (for tests of the repaint rule).
  int repaintRequests() const { return repaintRequests_; }

 signals:
  void OnClick(LedIndicator* sender);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  LedModel model_;
  QString caption_ = QStringLiteral(" ");
  int repaintRequests_ = 0;
  bool pressed_ = false;  // the primary button went down inside the LED
};

}  // namespace vexa
