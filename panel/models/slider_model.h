#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa {

// Refused Increment: carries "Value must be between 1 and <range>".
class SliderRangeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The level slider's state, rules and geometry: a ruler with a thumb holding an integer Value
// in [MinValue, MaxValue]. OnChange runs inside the Value setter, only when the stored value
// changed, whoever set it; OnChanged ends every operator interaction. The view feeds pointer,
// key and 400 ms timer input in pixels of the control and paints from the geometry here.
class SliderModel {
 public:
  enum class Orientation { soHorizontal, soVertical };
  enum class Bevel { None, Lowered, Raised, Space };
  enum class Key { Home, End, Up, Down, Left, Right, Other };
  struct Options {
    bool soShowFocus = true;
    bool soShowPoints = true;
    bool soSmooth = true;
    bool soRulerOpaque = false;
    bool soThumbOpaque = false;
  };
  struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool contains(int px, int py) const {
      return px >= x && px < x + width && py >= y && py < y + height;
    }
  };
  struct TickMark {
    int32_t value;
    int offset;  // pixel offset of the mark along the ruler, from the ruler's start
    int length;  // 5 at the ends, 3 between
  };

  static constexpr int kThumbLength = 11;   // along the ruler
  static constexpr int kThumbBreadth = 21;  // across it
  static constexpr int kRulerBreadth = 6;
  static constexpr int kRepeatMilliseconds = 400;

  SliderModel();

  int32_t MinValue() const { return min_; }
  int32_t MaxValue() const { return max_; }
  int32_t Increment() const { return increment_; }
  int32_t Value() const { return value_; }
  Orientation orientation() const { return orientation_; }
  Bevel bevel() const { return bevel_; }
  const Options& options() const { return options_; }
  bool enabled() const { return enabled_; }

  void setValue(int32_t v);
  void setMinValue(int32_t v);
  void setMaxValue(int32_t v);
  // Applies both bounds as one change; ignored when minimum >= maximum.
  void setRange(int32_t minimum, int32_t maximum);
  // Throws SliderRangeError outside 1..MaxValue - MinValue.
  void setIncrement(int32_t v);
  void setOrientation(Orientation o) { orientation_ = o; }
  void setBevel(Bevel b) { bevel_ = b; }
  void setOptions(Options o) { options_ = o; }
  void setEnabled(bool enabled);
  void setSize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }

  // Geometry, in pixels of the control.
  Rect rulerRect() const;
  Rect thumbRect() const;
  int usableLength() const;
  int thumbOffsetFor(int32_t value) const;  // from the MinValue end
  int32_t valueForOffset(int offset) const;
  std::vector<TickMark> tickMarks() const;

  // Operator input. Presses are of the primary button; a double click is ignored.
  void mousePress(int x, int y, bool doubleClick = false);
  void mouseMove(int x, int y);
  void mouseRelease();
  void repeatTick();  // the 400 ms step timer
  // Returns whether the key was consumed.
  bool keyPress(Key key, bool anyModifier);

  bool dragging() const { return mode_ == Mode::Dragging; }
  bool stepping() const { return mode_ == Mode::Stepping; }

  std::function<void(SliderModel&)> OnChange;
  std::function<void(SliderModel&)> OnChanged;
  std::function<void()> onRepaint;
  std::function<void()> onFocusRequest;     // a press asks for the keyboard focus
  std::function<void(bool)> onRepeatTimer;  // arm (true) or stop the 400 ms timer

 private:
  enum class Mode { Idle, Dragging, Stepping };
  bool vertical() const { return orientation_ == Orientation::soVertical; }
  int frame() const { return bevel_ == Bevel::None ? 0 : 2; }
  int alongOf(int x, int y) const { return vertical() ? y : x; }
  // Where the pointer lies along the ruler relative to the thumb: +1 toward MaxValue, -1
  // toward MinValue, 0 on the thumb.
  int sideOf(int x, int y) const;
  void step(int direction);
  int32_t clamp(int32_t v) const { return v < min_ ? min_ : v > max_ ? max_ : v; }
  void repaint() {
    if (onRepaint) onRepaint();
  }
  void changed() {
    if (OnChanged) OnChanged(*this);
  }

  int32_t min_ = 0, max_ = 100, increment_ = 10, value_ = 0;
  Orientation orientation_ = Orientation::soHorizontal;
  Bevel bevel_ = Bevel::None;
  Options options_;
  bool enabled_ = true;
  int width_ = 150, height_ = 40;
  Mode mode_ = Mode::Idle;
  int grabOffset_ = 0;  // pointer offset within the thumb while dragging
  int stepDirection_ = 0;
  int lastX_ = 0, lastY_ = 0;
};

}  // namespace vexa
