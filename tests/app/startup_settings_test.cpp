#include <gtest/gtest.h>

#include <sys/stat.h>

#include "instance_lock.h"
#include "startup_settings.h"
#include "temp_dir.h"

namespace vexa {
namespace {

TEST(Caption, FlagsInFixedOrder) {
  EXPECT_EQ(windowCaption(false, false), "  Quorix - Simulador VEXA");
  EXPECT_EQ(windowCaption(true, false), "  [D] - Quorix - Simulador VEXA");
  EXPECT_EQ(windowCaption(false, true), "  [L] - Quorix - Simulador VEXA");
  EXPECT_EQ(windowCaption(true, true), "  [DL] - Quorix - Simulador VEXA");
}

TEST(StartupSettings, SwitchesAndDirectories) {
  testing::TempDir dir;
  StartupSettings s = startupSettings({"/l", "x", "/d"}, dir.path());
  EXPECT_TRUE(s.DetailMode);
  EXPECT_TRUE(s.LogEnabled);
  EXPECT_EQ(s.paths.IniPath, dir.path() + "VX.ini");
  EXPECT_EQ(s.paths.LogDir, dir.path());
  ::mkdir(dir.file("Log").c_str(), 0755);
  s = startupSettings({}, dir.path());
  EXPECT_FALSE(s.DetailMode);
  EXPECT_EQ(s.paths.LogDir, dir.path() + "Log/");
  EXPECT_EQ(executableDirectory().back(), '/');
}

TEST(InstanceLock, ASecondTakerIsToldItIsHeld) {
  testing::TempDir dir;
  const std::string path = dir.file("lock");
  InstanceLock first(path);
  EXPECT_TRUE(first.acquired());
  {
    InstanceLock second(path);
    EXPECT_FALSE(second.acquired());
  }
  EXPECT_TRUE(first.acquired());
}

}  // namespace
}  // namespace vexa
