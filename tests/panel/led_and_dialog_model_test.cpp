#include <gtest/gtest.h>

#include "led_model.h"
#include "message_dialog_model.h"

namespace vexa {
namespace {

TEST(LedModel, ShownColourFollowsTheProperties) {
  LedModel led;
  int repaints = 0;
  led.onRepaint = [&] { ++repaints; };
  EXPECT_EQ(led.shownColor(), colors::kGrey);
  led.setLedOn(true);
  EXPECT_EQ(led.shownColor(), colors::kLime);
  led.setLedOn(true);  // the same value repaints nothing
  EXPECT_EQ(repaints, 1);
  for (int index = 1; index <= 3; ++index) {
    led.setLedIndex(index);
    EXPECT_EQ(led.shownColor(), led.LedColorOn(index));
  }
  led.setLedOn(false);
  EXPECT_EQ(led.shownColor(), colors::kGrey);
  led.setLedIndex(4);
  led.setLedOn(true);  // an index outside 0..3 keeps the colour shown before
  EXPECT_EQ(led.shownColor(), colors::kGrey);
  led.setLedIndex(-1);
  EXPECT_EQ(led.shownColor(), colors::kGrey);
  led.setLedIndex(2);
  EXPECT_EQ(led.shownColor(), colors::kRed);
  led.setLedColorOn(2, Rgb{1, 2, 3});
  EXPECT_EQ(led.shownColor(), (Rgb{1, 2, 3}));
  const int before = repaints;
  led.setLedColorOn(0, Rgb{9, 9, 9});  // not the shown colour: no repaint
  EXPECT_EQ(repaints, before);
}

TEST(LedModel, OnlyAnEnabledLedRaisesOnClickAndItNeverTogglesItself) {
  LedModel led;
  int clicks = 0;
  led.OnClick = [&](LedModel& sender) {
    EXPECT_EQ(&sender, &led);
    ++clicks;
  };
  led.click();
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(led.LedOn());
  led.setEnabled(false);
  led.click();
  EXPECT_EQ(clicks, 1);
}

TEST(MessageDialogModel, ModesGiveTheirButtonsAndHeights) {
  struct Case {
    int mode;
    bool sim, nao, ok;
    int panel, client;
  };
  const Case cases[] = {{0, false, false, true, 211, 231},
                        {1, true, true, false, 211, 231},
                        {2, false, false, false, 176, 196}};
  for (const Case& c : cases) {
    const auto m = MessageDialogModel::create("x", colors::kRed, 3, c.mode);
    ASSERT_TRUE(m);
    const auto l = m->layout();
    EXPECT_EQ(l.btSim, c.sim);
    EXPECT_EQ(l.btNao, c.nao);
    EXPECT_EQ(l.btOK, c.ok);
    EXPECT_EQ(l.panelHeight, c.panel);
    EXPECT_EQ(l.clientHeight, c.client);
  }
}

TEST(MessageDialogModel, RefusesDialogsNobodyCouldClose) {
  EXPECT_FALSE(MessageDialogModel::create("x", colors::kRed, 0, 2));
  EXPECT_FALSE(MessageDialogModel::create("x", colors::kRed, -1, 2));
  EXPECT_FALSE(MessageDialogModel::create("x", colors::kRed, 5, 3));
  EXPECT_FALSE(MessageDialogModel::create("x", colors::kRed, 5, -1));
  EXPECT_TRUE(MessageDialogModel::create("x", colors::kRed, 1, 2));
}

TEST(MessageDialogModel, CountdownClosesWithFalseAfterTimeoutTimesTenTicks) {
  auto m = MessageDialogModel::create("x", colors::kRed, 10, 0);
  int beeps = 0;
  m->onBeep = [&] { ++beeps; };
  EXPECT_TRUE(m->show());
  EXPECT_EQ(beeps, 1);
  for (int tick = 1; tick < 100; ++tick) ASSERT_FALSE(m->tick()) << tick;
  EXPECT_TRUE(m->tick());
  EXPECT_TRUE(m->closed());
  EXPECT_FALSE(m->answer());
  for (int timeout : {0, -4}) {
    auto none = MessageDialogModel::create("x", colors::kRed, timeout, 1);
    EXPECT_FALSE(none->show());
    EXPECT_EQ(none->countdown(), 0);
  }
}

TEST(MessageDialogModel, AnswersAndLines) {
  auto m =
      MessageDialogModel::create("Modbus\rErro na abertura da porta 5010", colors::kRed, 10, 0);
  EXPECT_EQ(m->lines(), (std::vector<std::string>{"Modbus", "Erro na abertura da porta 5010"}));
  m->pressSim();
  m->pressNao();  // the first answer stands
  EXPECT_TRUE(m->answer());
}

TEST(MessageDialogModel, PlacementUsesIntegerHalves) {
  const MessageDialogModel::Rect screen{0, 0, 1024, 768};
  auto at =
      MessageDialogModel::placement(MessageDialogModel::Rect{5, 5, 656, 179}, screen, 471, 231);
  EXPECT_EQ(at.x, 5 + (656 - 471) / 2);
  EXPECT_EQ(at.y, 5 + (179 - 231) / 2);  // -26: truncated toward zero
  at = MessageDialogModel::placement(std::nullopt, screen, 471, 196);
  EXPECT_EQ(at.x, 276);
  EXPECT_EQ(at.y, 286);
}

}  // namespace
}  // namespace vexa
