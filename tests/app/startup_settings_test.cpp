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
    EXPECT_EQ(second.holder(), ::getpid());
  }
  EXPECT_TRUE(first.acquired());
  EXPECT_EQ(testing::readFile(path), std::to_string(::getpid()) + "\n");
}

TEST(InstanceLock, ItLivesInTheStateDirectoryAndIsFreedWithItsHolder) {
  testing::TempDir dir;
  EXPECT_EQ(InstanceLock::pathFor(dir.path()), dir.path() + "vexa-sim.lock");
  {
    InstanceLock first(InstanceLock::pathFor(dir.path()));
    EXPECT_TRUE(first.acquired());
  }
  InstanceLock again(InstanceLock::pathFor(dir.path()));
  EXPECT_TRUE(again.acquired());
}

TEST(InstanceLock, TheMessageNamesTheDirectoryAndTheProcess) {
  EXPECT_EQ(takenMessage("/srv/unit1/", 4242),
            "vexa-sim: state directory /srv/unit1/ is taken by process 4242");
  EXPECT_EQ(takenMessage("/srv/unit1/", 0),
            "vexa-sim: state directory /srv/unit1/ is taken by another process");
}

// A FIFO under the lock's name neither blocks the start nor counts as a holder.
TEST(InstanceLock, ASpecialFileUnderItsNameDoesNotBlock) {
  testing::TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("vexa-sim.lock").c_str(), 0644), 0);
  InstanceLock lock(InstanceLock::pathFor(dir.path()));
  EXPECT_TRUE(lock.acquired());
}

}  // namespace
}  // namespace vexa
