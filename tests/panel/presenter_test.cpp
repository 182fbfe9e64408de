#include <gtest/gtest.h>

#include "../support/temp_dir.h"
#include "../unit/fake_unit_clock.h"
#include "model_view.h"
#include "number_format.h"
#include "presenter.h"
#include "rounding.h"

namespace vexa {
namespace {

class PresenterTest : public ::testing::Test {
 protected:
  PresenterTest()
      : unit(testing::unitSettingsIn(dir, 9), clock), state(unit.state()), presenter(unit, view) {
    unit.load();
    view.onSliderChange = [this](int level, int value) { presenter.sliderChange(level, value); };
  }
  DeviceData data() const {
    return state.locked([](const DeviceData& d) { return d; });
  }
  void setLevels(int16_t a, int16_t b, int16_t c) {
    state.locked([&](DeviceData& d) {
      d.live.setNv(0, a);
      d.live.setNv(1, b);
      d.live.setNv(2, c);
    });
  }
  testing::TempDir dir;
  testing::FakeUnitClock clock;
  Unit unit;
  DeviceState& state;
  ModelView view;
  Presenter presenter;
};

TEST_F(PresenterTest, ShowConfigFormatsTheDefaultConfiguration) {
  presenter.ShowConfig();
  EXPECT_EQ(view.text(PanelText::stMac), "00-01-02-00-00-00");
  EXPECT_EQ(view.text(PanelText::stIP), "192.168.0.250");
  EXPECT_EQ(view.text(PanelText::stMsk), "255.255.255.0");
  EXPECT_EQ(view.text(PanelText::stGW), "192.168.0.1");
  EXPECT_EQ(view.text(PanelText::stScl), "494");
  EXPECT_EQ(view.text(PanelText::stAjTp), "0");
  EXPECT_EQ(view.text(PanelText::stAjUm), "0");
  state.locked([](DeviceData& d) {
    d.config.Mac[0] = 10;
    d.config.Ip[3] = 8;
    d.WorkScale = -5;
    d.WorkAjUmid = 255;
  });
  presenter.ShowConfig();
  EXPECT_EQ(view.text(PanelText::stMac), "0A-01-02-00-00-00");
  EXPECT_EQ(view.text(PanelText::stIP), "192.168.0.8");
  EXPECT_EQ(view.text(PanelText::stScl), "-5");
  EXPECT_EQ(view.text(PanelText::stAjUm), "255");
}

TEST_F(PresenterTest, BatteryDisplayPerRangeItem) {
  struct Case {
    int16_t nv00;
    int item;
    const char* text;
  };
  const Case cases[] = {{250, 0, "25,0"}, {250, 1, "53,1"}, {250, 2, "98,8"}, {600, 2, "237,2"},
                        {-5, 0, "-0,5"},  {0, 0, "0,0"},    {1, 1, "0,2"},    {5, 0, "0,5"}};
  for (const Case& c : cases) {
    setLevels(c.nv00, 20, 50);
    view.setBatteryItem(c.item);
    presenter.Tmr4Timer();
    EXPECT_EQ(view.text(PanelText::stNv00), c.text) << c.nv00 << " " << c.item;
    EXPECT_EQ(batteryText(c.nv00, c.item), c.text);
  }
}

TEST_F(PresenterTest, NoBatteryItemKeepsTheTextWhileTheOthersUpdate) {
  presenter.Tmr4Timer();
  EXPECT_EQ(view.text(PanelText::stNv00), "25,0");
  view.setBatteryItem(-1);
  setLevels(100, -3, 70);
  presenter.Tmr4Timer();
  EXPECT_EQ(view.text(PanelText::stNv00), "25,0");
  EXPECT_EQ(view.text(PanelText::stNv01), "-3");
  EXPECT_EQ(view.text(PanelText::stNv02), "70");
}

TEST_F(PresenterTest, StartupFillClampsLevelsThroughTheSliders) {
  struct Case {
    int16_t in[3];
    int16_t out[3];
    int sliders[3];
  };
  const Case cases[] = {
      {{250, 20, 50}, {250, 20, 50}, {250, 30, 50}},
      {{700, 70, 50}, {600, 67, 50}, {600, 100, 50}},
      {{-5, 100, 101}, {-5, 67, 100}, {0, 100, 100}},
      {{0, 0, -3}, {0, 0, -3}, {0, 0, 0}},
      {{600, 67, 100}, {600, 67, 100}, {600, 100, 100}},
      {{5, 1, 1}, {5, 1, 1}, {5, 2, 1}},  // R(1.5) = 2 and back R(2 / 1.5) = 1
  };
  for (const Case& c : cases) {
    ModelView fresh;
    Presenter p(unit, fresh);
    fresh.onSliderChange = [&p](int level, int value) { p.sliderChange(level, value); };
    setLevels(c.in[0], c.in[1], c.in[2]);
    p.moveLevelSliders();
    const DeviceData d = data();
    for (int level = 0; level < 3; ++level) {
      EXPECT_EQ(d.live.Nv(level), c.out[level]) << c.in[level];
      EXPECT_EQ(fresh.slider(level).Value(), c.sliders[level]) << c.in[level];
    }
  }
}

TEST_F(PresenterTest, TemperatureSliderFactorRoundsHalvesToEven) {
  struct Case {
    int16_t nv01;
    int slider;
  };
  for (const Case& c : {Case{25, 38}, Case{27, 40}, Case{1, 2}, Case{3, 4}, Case{67, 100}}) {
    setLevels(250, c.nv01, 50);
    view.setAutoChecked(true);
    presenter.cbAutClick();
    presenter.Tmr4Timer();  // in auto mode the sliders follow the levels
    EXPECT_EQ(view.slider(1).Value(), c.slider) << c.nv01;
  }
  view.setAutoChecked(false);
  presenter.cbAutClick();
  struct Back {
    int slider;
    int16_t nv01;
  };
  for (const Back& b : {Back{3, 2}, Back{100, 67}, Back{38, 25}, Back{0, 0}, Back{1, 1}}) {
    view.slider(1).setValue(b.slider == view.slider(1).Value() ? b.slider + 1 : b.slider);
    view.slider(1).setValue(b.slider);
    EXPECT_EQ(data().live.Nv(1), b.nv01) << b.slider;
  }
}

TEST_F(PresenterTest, AutoModeDisablesSlidersAndStopsTheirWrites) {
  view.setAutoChecked(true);
  presenter.cbAutClick();
  EXPECT_TRUE(data().AutoMode);
  for (int level = 0; level < 3; ++level) EXPECT_FALSE(view.slider(level).enabled());
  clock.now = 2000;  // the measurement tick draws the levels
  presenter.Tmr4Timer();
  const DeviceData drawn = data();
  EXPECT_GE(drawn.live.Nv(0), 230);
  EXPECT_EQ(view.slider(0).Value(), drawn.live.Nv(0));
  EXPECT_EQ(view.slider(1).Value(), roundHalfEvenTimes15(drawn.live.Nv(1)));
  view.setAutoChecked(false);
  presenter.cbAutClick();
  EXPECT_TRUE(view.slider(0).enabled());
  EXPECT_EQ(data().live.Nv(0), drawn.live.Nv(0));  // the last random levels stay
  view.slider(0).setValue(100);
  EXPECT_EQ(data().live.Nv(0), 100);
}

TEST_F(PresenterTest, LedClicksToggleBitsAndTheLedsFollowAtTheNextTick) {
  presenter.LdClick("Ld05");
  EXPECT_EQ(data().live.InputFlags(), 4 | 0x20);
  EXPECT_FALSE(view.findLed("Ld05")->LedOn());  // not touched by the click itself
  presenter.Tmr4Timer();
  EXPECT_TRUE(view.findLed("Ld05")->LedOn());
  EXPECT_TRUE(view.findLed("Ld02")->LedOn());
  presenter.LdClick("Ld05");
  presenter.Tmr1Timer();
  EXPECT_FALSE(view.findLed("Ld05")->LedOn());
  EXPECT_FALSE(view.findLed("Ld01")->enabled());
  EXPECT_FALSE(view.findLed("ldRst")->enabled());
}

TEST_F(PresenterTest, VariantButtonsSetTheVariantAndTheResetLedFollowsTheCountdown) {
  presenter.sbCodClick(2);
  EXPECT_EQ(data().VariantCode, 2);
  presenter.selectVariant(4);
  EXPECT_EQ(data().VariantCode, 4);
  EXPECT_EQ(view.variantDown(), 4);
  state.locked([](DeviceData& d) { d.ResetCountdown = 2; });
  clock.now += 10;
  presenter.Tmr4Timer();
  EXPECT_TRUE(view.findLed("ldRst")->LedOn());
  clock.now += 10;
  presenter.Tmr4Timer();
  EXPECT_FALSE(view.findLed("ldRst")->LedOn());
}

TEST(NumberFormat, OneDecimalHalvesAwayFromZero) {
  struct Case {
    double v;
    const char* text;
  };
  for (const Case& c : {Case{0.25, "0,3"}, Case{-0.25, "-0,3"}, Case{12.34, "12,3"},
                        Case{-0.04, "0,0"}, Case{99.95, "100,0"}, Case{7, "7,0"}}) {
    EXPECT_EQ(formatOneDecimal(c.v), c.text) << c.v;
  }
}

}  // namespace
}  // namespace vexa
