#include "slider_model.h"

#include "rounding.h"

namespace vexa {

SliderModel::SliderModel() = default;

void SliderModel::setValue(int32_t v) {
  const int32_t before = value_;
  value_ = clamp(v);
  repaint();
  if (value_ != before && OnChange) OnChange(*this);
}

void SliderModel::setMinValue(int32_t v) {
  if (v != min_) setRange(v, max_);
}

void SliderModel::setMaxValue(int32_t v) {
  if (v != max_) setRange(min_, v);
}

void SliderModel::setRange(int32_t minimum, int32_t maximum) {
  if (minimum >= maximum) return;
  min_ = minimum;
  max_ = maximum;
  const int64_t span = static_cast<int64_t>(max_) - min_;
  if (increment_ > span) increment_ = static_cast<int32_t>(span);
  setValue(value_);
}

void SliderModel::setIncrement(int32_t v) {
  const int64_t span = static_cast<int64_t>(max_) - min_;
  if (v < 1 || v > span) {
    throw SliderRangeError("Value must be between 1 and " + std::to_string(span));
  }
  increment_ = v;
  setValue(value_);
}

void SliderModel::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!enabled_ && mode_ != Mode::Idle) {
    if (mode_ == Mode::Stepping && onRepeatTimer) onRepeatTimer(false);
    mode_ = Mode::Idle;
  }
  repaint();
}

void SliderModel::setSize(int width, int height) {
  width_ = width;
  height_ = height;
}

SliderModel::Rect SliderModel::rulerRect() const {
  const int f = frame() + 2;
  if (vertical()) {
    return {(width_ - kRulerBreadth) / 2, f, kRulerBreadth, height_ - 2 * f};
  }
  return {f, (height_ - kRulerBreadth) / 2, width_ - 2 * f, kRulerBreadth};
}

int SliderModel::usableLength() const {
  const Rect r = rulerRect();
  const int length = (vertical() ? r.height : r.width) - kThumbLength;
  return length < 1 ? 1 : length;
}

int SliderModel::thumbOffsetFor(int32_t value) const {
  const int64_t span = static_cast<int64_t>(max_) - min_;
  return static_cast<int>(
      roundHalfEvenDiv((static_cast<int64_t>(value) - min_) * usableLength(), span));
}

int32_t SliderModel::valueForOffset(int offset) const {
  const int length = usableLength();
  if (offset < 0) offset = 0;
  if (offset > length) offset = length;
  const int64_t span = static_cast<int64_t>(max_) - min_;
  const int64_t x = roundHalfEvenDiv(static_cast<int64_t>(offset) * span, length);  // R(x)
  int64_t v;
  if (options_.soSmooth) {
    v = min_ + x;
  } else {
    v = min_ + increment_ * roundHalfEvenDiv(x, increment_);
  }
  return clamp(static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v));
}

SliderModel::Rect SliderModel::thumbRect() const {
  const Rect r = rulerRect();
  const int p = thumbOffsetFor(value_);
  if (vertical()) {
    // MaxValue at the top: offset p from the bottom of the usable length.
    return {(width_ - kThumbBreadth) / 2, r.y + usableLength() - p, kThumbBreadth, kThumbLength};
  }
  return {r.x + p, (height_ - kThumbBreadth) / 2, kThumbLength, kThumbBreadth};
}

std::vector<SliderModel::TickMark> SliderModel::tickMarks() const {
  std::vector<TickMark> marks;
  const int64_t span = static_cast<int64_t>(max_) - min_;
  const int length = usableLength();
  int64_t s = increment_;
  int64_t n = 0;
  for (int64_t e = 1;; ++e) {
    s = increment_ * e;
    n = roundHalfEvenDiv(span, s);
    if (n <= 1 || length >= 4 * n) break;
  }
  // A mark stands at the centre of the thumb's position for its value.
  auto at = [&](int32_t v, int len) {
    const int p = vertical() ? usableLength() - thumbOffsetFor(v) : thumbOffsetFor(v);
    marks.push_back({v, p + kThumbLength / 2, len});
  };
  for (int64_t k = 0; k < n; ++k) {
    const int64_t v = min_ + k * s;
    if (v >= max_) break;
    at(static_cast<int32_t>(v), k == 0 ? 5 : 3);
  }
  at(max_, 5);
  return marks;
}

int SliderModel::sideOf(int x, int y) const {
  const Rect t = thumbRect();
  const int along = alongOf(x, y);
  const int start = vertical() ? t.y : t.x;
  const int end = start + kThumbLength;
  if (along >= start && along < end) return 0;
  const bool before = along < start;  // above (vertical) or left (horizontal) of the thumb
  if (vertical()) return before ? +1 : -1;
  return before ? -1 : +1;
}

void SliderModel::step(int direction) {
  const int64_t grid = increment_ * roundHalfEvenDiv(value_, increment_);
  int64_t next = grid + direction * increment_;
  if (next < min_) next = min_;
  if (next > max_) next = max_;
  if (next != value_) setValue(static_cast<int32_t>(next));
}

void SliderModel::mousePress(int x, int y, bool doubleClick) {
  if (!enabled_ || doubleClick || mode_ != Mode::Idle) return;
  if (onFocusRequest) onFocusRequest();
  const Rect thumb = thumbRect();
  if (thumb.contains(x, y)) {
    mode_ = Mode::Dragging;
    grabOffset_ = alongOf(x, y) - (vertical() ? thumb.y : thumb.x);
    repaint();
    return;
  }
  Rect ruler = rulerRect();
  if (vertical()) {
    ruler.x -= 3;
    ruler.width += 6;
  } else {
    ruler.y -= 3;
    ruler.height += 6;
  }
  if (!ruler.contains(x, y)) return;
  mode_ = Mode::Stepping;
  stepDirection_ = sideOf(x, y);
  lastX_ = x;
  lastY_ = y;
  step(stepDirection_);
  if (onRepeatTimer) onRepeatTimer(true);
}

void SliderModel::mouseMove(int x, int y) {
  if (mode_ == Mode::Stepping) {
    lastX_ = x;
    lastY_ = y;
    return;
  }
  if (mode_ != Mode::Dragging) return;
  const Rect r = rulerRect();
  const int thumbStart = alongOf(x, y) - grabOffset_;
  const int offset = vertical() ? usableLength() - (thumbStart - r.y) : thumbStart - r.x;
  const int32_t v = valueForOffset(offset);
  if (v != value_) setValue(v);
}

void SliderModel::mouseRelease() {
  if (mode_ == Mode::Idle) return;
  if (mode_ == Mode::Stepping && onRepeatTimer) onRepeatTimer(false);
  mode_ = Mode::Idle;
  repaint();
  changed();
}

void SliderModel::repeatTick() {
  if (mode_ != Mode::Stepping) return;
  if (sideOf(lastX_, lastY_) == stepDirection_) step(stepDirection_);
}

bool SliderModel::keyPress(Key key, bool anyModifier) {
  if (!enabled_ || anyModifier) return false;
  switch (key) {
    case Key::Home:
      setValue(min_);
      break;
    case Key::End:
      setValue(max_);
      break;
    case Key::Up:
    case Key::Down:
      if (!vertical()) return false;
      step(key == Key::Up ? +1 : -1);
      break;
    case Key::Left:
    case Key::Right:
      if (vertical()) return false;
      step(key == Key::Right ? +1 : -1);
      break;
    case Key::Other:
      return false;
  }
  changed();
  return true;
}

}  // namespace vexa
