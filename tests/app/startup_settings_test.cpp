#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <optional>

#include "instance_lock.h"
#include "startup_settings.h"
#include "state_location.h"
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

// Sets (or, with nothing, removes) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(StateLocation, InstalledCopiesNeverKeepStateBesideThemselves) {
  EXPECT_TRUE(isInstalledDirectory("/usr/bin/", "/opt/vexa/bin"));
  EXPECT_TRUE(isInstalledDirectory("/usr/local/bin/", "/opt/vexa/bin"));
  EXPECT_TRUE(isInstalledDirectory("/opt/vexa/bin/", "/opt/vexa/bin"));
  EXPECT_TRUE(isInstalledDirectory("/opt/vexa/bin/", "/opt/vexa/bin/"));
  EXPECT_FALSE(isInstalledDirectory("/opt/vexa/bin/x/", "/opt/vexa/bin"));
  EXPECT_FALSE(isInstalledDirectory("/home/u/build/app/", "/usr/bin"));
  EXPECT_FALSE(isInstalledDirectory("/usrx/", "/usr/bin"));

  // A writable folder that the package installs to: the state still goes to XDG_STATE_HOME.
  testing::TempDir exe, state;
  const ScopedEnv xdg("XDG_STATE_HOME", state.path());
  StateLocation where = locateState(CommandLine{}, exe.path(), exe.path());
  EXPECT_EQ(where.error, "");
  EXPECT_EQ(where.directory, state.path() + "vexa-sim/");
  EXPECT_NE(where.notice.find(state.path() + "vexa-sim/"), std::string::npos);
  // Not installed and writable: beside the executable.
  where = locateState(CommandLine{}, exe.path(), "/usr/bin");
  EXPECT_EQ(where.directory, exe.path());
}

TEST(StateLocation, RelativeStateHomeIsIgnoredAndNoHomeIsRefused) {
  testing::TempDir exe, home;
  {
    const ScopedEnv xdg("XDG_STATE_HOME", "relative/state");
    const ScopedEnv h("HOME", home.path());
    const StateLocation where = locateState(CommandLine{}, "/usr/bin/");
    EXPECT_EQ(where.error, "");
    EXPECT_EQ(where.directory, home.path() + ".local/state/vexa-sim/");
  }
  for (const std::optional<std::string>& homeValue :
       {std::optional<std::string>{}, std::optional<std::string>{""},
        std::optional<std::string>{"relative"}}) {
    const ScopedEnv xdg("XDG_STATE_HOME", std::nullopt);
    const ScopedEnv h("HOME", homeValue);
    const StateLocation where = locateState(CommandLine{}, "/usr/bin/");
    EXPECT_NE(where.error.find("HOME"), std::string::npos);
    EXPECT_EQ(where.directory, "");
  }
  // --state-dir needs neither.
  const ScopedEnv h("HOME", std::nullopt);
  CommandLine options;
  options.stateDir = exe.path() + "unit/";
  EXPECT_EQ(locateState(options, "/usr/bin/").error, "");
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
