#pragma once

#include <QTimer>
#include <QWidget>

#include "slider_model.h"

namespace vexa {

// TRxSlider: draws the slider model and feeds it pointer, key and 400 ms timer input. Emits
// OnChange inside the value setter when the stored value changed, and OnChanged at the end of
// each operator interaction.
class RxSlider : public QWidget {
  Q_OBJECT

 public:
  explicit RxSlider(QWidget* parent = nullptr);

  SliderModel& model() { return model_; }
  const SliderModel& model() const { return model_; }
  int Value() const { return model_.Value(); }
  void setValue(int value) { model_.setValue(value); }

 signals:
  void OnChange(RxSlider* sender);
  void OnChanged(RxSlider* sender);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void drawThumb(class QPainter& p, const SliderModel::Rect& r) const;

  SliderModel model_;
  QTimer repeat_;
};

}  // namespace vexa
