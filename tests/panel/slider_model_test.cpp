#include <gtest/gtest.h>

#include <cmath>

#include "model_view.h"
#include "slider_model.h"

namespace vexa {
namespace {

// A slider with its events counted and the values OnChange saw.
struct Probe {
  SliderModel slider;
  std::vector<int32_t> changes;
  int changed = 0;
  bool timer = false;
  Probe() {
    slider.OnChange = [this](SliderModel& s) { changes.push_back(s.Value()); };
    slider.OnChanged = [this](SliderModel&) { ++changed; };
    slider.onRepeatTimer = [this](bool on) { timer = on; };
  }
};

TEST(SliderModel, ValueIsClampedAndChangeFiresOnlyOnARealChange) {
  Probe p;
  p.slider.setRange(0, 600);
  struct Step {
    int32_t set, stored;
    size_t changesSoFar;
  };
  const Step steps[] = {{700, 600, 1}, {600, 600, 1}, {-5, 0, 2},
                        {-5, 0, 2},    {37, 37, 3},   {37, 37, 3}};
  for (const Step& s : steps) {
    p.slider.setValue(s.set);
    EXPECT_EQ(p.slider.Value(), s.stored) << s.set;
    EXPECT_EQ(p.changes.size(), s.changesSoFar) << s.set;
  }
}

TEST(SliderModel, RangeChangesApplyAsOnePairAndClamp) {
  Probe p;
  p.slider.setValue(50);
  p.slider.setRange(60, 60);  // refused: minimum >= maximum
  EXPECT_EQ(p.slider.MinValue(), 0);
  p.slider.setMinValue(200);  // refused: above MaxValue 100
  EXPECT_EQ(p.slider.MinValue(), 0);
  p.slider.setMinValue(70);
  EXPECT_EQ(p.slider.Value(), 70);
  EXPECT_EQ(p.changes, (std::vector<int32_t>{50, 70}));
  p.slider.setRange(0, 5);  // the increment (10) is lowered to the range
  EXPECT_EQ(p.slider.Increment(), 5);
  EXPECT_EQ(p.slider.Value(), 5);
}

TEST(SliderModel, AnIncrementOutsideTheRangeIsRefused) {
  SliderModel s;
  for (int32_t bad : {0, -1, 101}) {
    try {
      s.setIncrement(bad);
      FAIL() << bad;
    } catch (const SliderRangeError& e) {
      EXPECT_STREQ(e.what(), "Value must be between 1 and 100");
    }
    EXPECT_EQ(s.Increment(), 10);
  }
  s.setIncrement(100);
  EXPECT_EQ(s.Increment(), 100);
}

TEST(SliderModel, StepsRoundToTheGridThenMove) {
  struct Case {
    int32_t increment, from;
    SliderModel::Key key;
    int32_t to;
  };
  using K = SliderModel::Key;
  const Case cases[] = {{2, 7, K::Up, 10},    {2, 7, K::Down, 6}, {2, 5, K::Up, 6},
                        {2, 5, K::Down, 2},   {5, 13, K::Up, 20}, {5, 13, K::Down, 10},
                        {2, 100, K::Up, 100}, {2, 0, K::Down, 0}, {2, 50, K::Home, 0},
                        {2, 50, K::End, 100}, {2, 3, K::Up, 6}};
  for (const Case& c : cases) {
    Probe p;
    p.slider.setOrientation(SliderModel::Orientation::soVertical);
    p.slider.setIncrement(c.increment);
    p.slider.setValue(c.from);
    p.changes.clear();
    EXPECT_TRUE(p.slider.keyPress(c.key, false));
    EXPECT_EQ(p.slider.Value(), c.to) << c.from;
    EXPECT_EQ(p.changes.size(), c.to == c.from ? 0u : 1u);
    EXPECT_EQ(p.changed, 1);  // also when nothing moved
  }
}

TEST(SliderModel, KeysNeedNoModifierAndTheirOrientation) {
  Probe p;
  p.slider.setValue(50);
  EXPECT_FALSE(p.slider.keyPress(SliderModel::Key::Home, true));
  EXPECT_FALSE(p.slider.keyPress(SliderModel::Key::Up, false));  // horizontal slider
  EXPECT_FALSE(p.slider.keyPress(SliderModel::Key::Other, false));
  EXPECT_TRUE(p.slider.keyPress(SliderModel::Key::Right, false));
  EXPECT_EQ(p.slider.Value(), 60);
}

TEST(SliderModel, ADisabledSliderIgnoresTheOperatorButNotTheProgram) {
  Probe p;
  p.slider.setValue(50);
  p.slider.setEnabled(false);
  EXPECT_FALSE(p.slider.keyPress(SliderModel::Key::Home, false));
  const auto thumb = p.slider.thumbRect();
  p.slider.mousePress(thumb.x + 1, thumb.y + 1);
  EXPECT_FALSE(p.slider.dragging());
  p.slider.mousePress(2, 20);
  EXPECT_FALSE(p.slider.stepping());
  p.slider.setValue(10);
  EXPECT_EQ(p.changes, (std::vector<int32_t>{50, 10}));
}

// The panel's battery slider: vertical, 0..600, 41 x 103, raised bevel.
SliderModel batterySlider() {
  SliderModel s;
  configureLevelSlider(s, 0);
  return s;
}

TEST(SliderModel, VerticalGeometryPutsMaxValueAtTheTop) {
  SliderModel s = batterySlider();
  const int length = s.usableLength();
  ASSERT_GT(length, 50);
  EXPECT_EQ(s.thumbOffsetFor(0), 0);
  EXPECT_EQ(s.thumbOffsetFor(600), length);
  s.setValue(600);
  const int topAtMax = s.thumbRect().y;
  s.setValue(0);
  EXPECT_EQ(s.thumbRect().y - topAtMax, length);
  EXPECT_EQ(s.valueForOffset(0), 0);
  EXPECT_EQ(s.valueForOffset(length), 600);
  EXPECT_EQ(s.valueForOffset(length * 10), 600);
  EXPECT_EQ(s.valueForOffset(-3), 0);
  // The middle: R(p x 600 / L).
  const int half = length / 2;
  EXPECT_EQ(s.valueForOffset(half), static_cast<int32_t>(std::lround(half * 600.0 / length)));
}

TEST(SliderModel, DraggingTheThumbFromBottomToTopVisitsEveryPixelValue) {
  Probe p;
  configureLevelSlider(p.slider, 0);
  const auto thumb = p.slider.thumbRect();
  const int x = thumb.x + 5;
  int y = thumb.y + 5;
  p.slider.mousePress(x, y);
  ASSERT_TRUE(p.slider.dragging());
  for (; y > -20; --y) p.slider.mouseMove(x, y);
  EXPECT_EQ(p.slider.Value(), 600);
  EXPECT_EQ(p.changes.back(), 600);
  for (size_t i = 1; i < p.changes.size(); ++i) ASSERT_GT(p.changes[i], p.changes[i - 1]);
  EXPECT_EQ(p.changed, 0);
  p.slider.mouseRelease();
  EXPECT_EQ(p.changed, 1);
  EXPECT_FALSE(p.slider.dragging());
}

TEST(SliderModel, DraggingWithoutSmoothSnapsToTheIncrement) {
  Probe p;
  configureLevelSlider(p.slider, 0);
  SliderModel::Options o;
  o.soSmooth = false;
  p.slider.setOptions(o);
  const auto thumb = p.slider.thumbRect();
  p.slider.mousePress(thumb.x + 5, thumb.y + 5);
  for (int y = thumb.y + 5; y > -20; --y) {
    p.slider.mouseMove(thumb.x + 5, y);
    ASSERT_EQ(p.slider.Value() % 5, 0) << y;
  }
  EXPECT_EQ(p.slider.Value(), 600);
}

TEST(SliderModel, RulerClickStepsAtOnceThenOnEachTickWhileBesideTheThumb) {
  Probe p;
  configureLevelSlider(p.slider, 0);  // value 0, thumb at the bottom
  const auto ruler = p.slider.rulerRect();
  const int x = ruler.x - 2;  // within the ruler widened by 3 pixels
  const int above = ruler.y + 2;
  p.slider.mousePress(x, above);
  EXPECT_TRUE(p.timer);
  EXPECT_EQ(p.slider.Value(), 5);
  p.slider.repeatTick();
  EXPECT_EQ(p.slider.Value(), 10);
  // On the thumb or beyond it nothing happens until the pointer comes back.
  const auto thumb = p.slider.thumbRect();
  p.slider.mouseMove(x, thumb.y + 2);
  p.slider.repeatTick();
  p.slider.mouseMove(x, thumb.y + thumb.height + 4);
  p.slider.repeatTick();
  EXPECT_EQ(p.slider.Value(), 10);
  p.slider.mouseMove(x, above);
  p.slider.repeatTick();
  EXPECT_EQ(p.slider.Value(), 15);
  p.slider.mouseRelease();
  EXPECT_FALSE(p.timer);
  EXPECT_EQ(p.changed, 1);
  // Below the thumb steps down; outside the widened ruler nothing starts.
  p.slider.setValue(300);
  const auto at300 = p.slider.thumbRect();
  p.slider.mousePress(x, at300.y + at300.height + 3);
  EXPECT_EQ(p.slider.Value(), 295);
  p.slider.mouseRelease();
  p.slider.mousePress(ruler.x - 4, above);
  EXPECT_FALSE(p.slider.stepping());
}

TEST(SliderModel, TickMarksSpaceToAtLeastFourPixels) {
  SliderModel s = batterySlider();  // increment 5 over 600: far too dense at first
  const auto marks = s.tickMarks();
  ASSERT_GE(marks.size(), 2u);
  EXPECT_EQ(marks.front().value, 0);
  EXPECT_EQ(marks.front().length, 5);
  EXPECT_EQ(marks.back().value, 600);
  EXPECT_EQ(marks.back().length, 5);
  const size_t intervals = marks.size() - 1;
  EXPECT_GE(s.usableLength() / static_cast<double>(intervals), 4.0 - 1e-9);
  for (size_t i = 1; i + 1 < marks.size(); ++i) {
    EXPECT_EQ(marks[i].length, 3);
    EXPECT_EQ(marks[i].value % 5, 0);
  }
  // Vertical: MaxValue's mark stands above MinValue's.
  EXPECT_LT(marks.back().offset, marks.front().offset);
}

}  // namespace
}  // namespace vexa
