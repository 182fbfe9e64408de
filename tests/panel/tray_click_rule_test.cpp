#include <gtest/gtest.h>

#include "tray_click_rule.h"

namespace vexa {
namespace {

using Action = TrayClickRule::Action;
constexpr int64_t kInterval = 400;

TEST(TrayClickRule, AClickRestoresOnlyAHiddenWindow) {
  TrayClickRule rule;
  EXPECT_EQ(rule.click(true, 0), Action::Restore);
  EXPECT_EQ(rule.click(false, 5000), Action::None);
}

TEST(TrayClickRule, ADoubleClickOnAHiddenWindowEndsShown) {
  TrayClickRule rule;
  // The desktop reports the first click of the pair, which restores, then the double click.
  EXPECT_EQ(rule.click(true, 1000), Action::Restore);
  EXPECT_EQ(rule.doubleClick(false, 1000 + kInterval, kInterval), Action::None);
  // A double click reported alone on a hidden window restores it too.
  EXPECT_EQ(rule.doubleClick(true, 9000, kInterval), Action::Restore);
}

TEST(TrayClickRule, ADoubleClickOnAShownWindowHidesIt) {
  TrayClickRule rule;
  EXPECT_EQ(rule.click(false, 1000), Action::None);
  EXPECT_EQ(rule.doubleClick(false, 1100, kInterval), Action::Hide);
  // A restoring click long before does not hold back a later double click.
  EXPECT_EQ(rule.click(true, 2000), Action::Restore);
  EXPECT_EQ(rule.doubleClick(false, 2000 + kInterval + 1, kInterval), Action::Hide);
  // Nor does it hold back a second double click.
  EXPECT_EQ(rule.click(true, 5000), Action::Restore);
  EXPECT_EQ(rule.doubleClick(false, 5100, kInterval), Action::None);
  EXPECT_EQ(rule.doubleClick(false, 5200, kInterval), Action::Hide);
}

}  // namespace
}  // namespace vexa
