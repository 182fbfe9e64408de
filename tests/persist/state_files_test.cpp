#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "nonregular_files.h"
#include "state_files.h"
#include "temp_dir.h"

namespace vexa {
namespace {

using testing::readFile;
using testing::writeFile;

// Records the host steps of the start-up load and close sequence in order.
struct RecordingHost final : StateHost {
  std::vector<std::string> steps;
  DeviceState* state = nullptr;
  void setCycleInterval(int ms) override { steps.push_back("interval " + std::to_string(ms)); }
  void moveLevelSliders() override { steps.push_back("sliders"); }
  void ShowConfig() override {
    // The working values are derived before the configuration is shown.
    steps.push_back("config " +
                    std::to_string(state->locked([](DeviceData& d) { return d.WorkScale; })));
  }
  void setVersionTexts(const std::string& v, const std::string& date) override {
    steps.push_back("versions " + v + " " + date);
  }
  void seedRandom() override { steps.push_back("seed"); }
  void selectStartVariant() override { steps.push_back("variant"); }
  void switchEndpointOn() override { steps.push_back("endpoint"); }
  void measurementTick() override { steps.push_back("measure"); }
  void setCycleTimerEnabled(bool on) override { steps.push_back(on ? "tmr1 on" : "tmr1 off"); }
};

class StateFilesTest : public ::testing::Test {
 protected:
  StateFilesTest() : paths(StatePaths::forDirectory(dir.path())) { host.state = &state; }
  DeviceData load() {
    unread = LoadState(state, paths, host);
    return state.locked([](const DeviceData& d) { return d; });
  }
  testing::TempDir dir;
  StatePaths paths;
  DeviceState state;
  RecordingHost host;
  UnreadStateFiles unread;
};

TEST_F(StateFilesTest, LoadRunsItsStepsInOrder) {
  writeFile(paths.IniPath, "[Geral]\nCiclo=5\n");
  load();
  const std::vector<std::string> expected = {
      "interval 5000", "sliders", "config 494", "versions 1.50 15/03/17 00:08", "seed", "variant",
      "endpoint",      "measure", "tmr1 on"};
  EXPECT_EQ(host.steps, expected);
}

TEST_F(StateFilesTest, NoFilesGiveTheDefaults) {
  const DeviceData d = load();
  EXPECT_EQ(d.config.Ip, (std::array<uint8_t, 4>{192, 168, 0, 250}));
  EXPECT_EQ(d.live.InputFlags(), 4);
  EXPECT_EQ(d.live.Nv(0), 250);
  EXPECT_EQ(d.live.Nv(1), 20);
  EXPECT_EQ(d.live.Nv(2), 50);
  EXPECT_EQ(host.steps.front(), "interval 2000");
}

TEST_F(StateFilesTest, ShortFilesReplaceOnlyTheBytesTheyHold) {
  writeFile(paths.configFile(), std::string("\x11\x22\x33\x44\x55\x66\x0A\x00\x00\x01", 10));
  writeFile(paths.liveFile(), "");
  const DeviceData d = load();
  EXPECT_EQ(d.config.Mac, (std::array<uint8_t, 6>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
  EXPECT_EQ(d.config.Ip, (std::array<uint8_t, 4>{10, 0, 0, 1}));
  EXPECT_EQ(d.config.Mask, (std::array<uint8_t, 4>{255, 255, 255, 0}));
  EXPECT_EQ(d.WorkScale, 494);
  // An existing but empty live file gives zeros, not the defaults.
  EXPECT_EQ(d.live.InputFlags(), 0);
  EXPECT_EQ(d.live.Nv(0), 0);
}

TEST_F(StateFilesTest, EveryTruncationLengthOfTheConfigFile) {
  std::string full(1024, '\0');
  for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<char>(0xA0 + (i % 7));
  for (size_t length = 0; length <= 1030; length += (length < 40 ? 1 : 97)) {
    DeviceState fresh;
    writeFile(paths.configFile(), full.substr(0, std::min(length, full.size())) +
                                      std::string(length > 1024 ? length - 1024 : 0, 'x'));
    LoadState(fresh, paths, host);
    const auto snap = fresh.snapshot();
    const auto* bytes = reinterpret_cast<const uint8_t*>(&snap.config);
    DeviceConfig defaults{};
    writeConfigDefaults(defaults);
    const auto* expectedTail = reinterpret_cast<const uint8_t*>(&defaults);
    for (size_t i = 0; i < 1024; ++i) {
      const uint8_t expected = i < length ? static_cast<uint8_t>(full[i]) : expectedTail[i];
      ASSERT_EQ(bytes[i], expected) << "length " << length << " byte " << i;
    }
  }
}

TEST_F(StateFilesTest, CloseWritesExactImagesAndKeepsReservedBytes) {
  std::string config(1100, '\x5A');
  std::string live("\x04\xFF\x10\x00\x20\x00\x30\x00\xAB\xCD", 10);
  writeFile(paths.configFile(), config);
  writeFile(paths.liveFile(), live + "extra");
  load();
  ASSERT_TRUE(FormClose(state, paths, host).ok());
  EXPECT_EQ(host.steps.back(), "tmr1 off");
  EXPECT_EQ(readFile(paths.configFile()), config.substr(0, 1024));
  EXPECT_EQ(readFile(paths.liveFile()), live);
  EXPECT_FALSE(testing::fileExists(paths.configFile() + ".tmp"));
}

// A file system whose step `failAt` fails with `error`.
struct FailingFs final : FileSystem {
  std::string failAt;
  int error = ENOSPC;
  int maybe(const char* step, int real) { return failAt == step ? error : real; }
  int createExclusive(const std::string& p, int& fd) override {
    if (failAt == "open") return error;
    return posixFileSystem().createExclusive(p, fd);
  }
  int writeAll(int fd, std::string_view bytes) override {
    if (failAt == "write") {
      // Write part of the bytes first, as a full disk would.
      (void)posixFileSystem().writeAll(fd, bytes.substr(0, bytes.size() / 2));
      return error;
    }
    return posixFileSystem().writeAll(fd, bytes);
  }
  int syncFile(int fd) override { return maybe("fsync", posixFileSystem().syncFile(fd)); }
  int closeFile(int fd) override { return maybe("close", posixFileSystem().closeFile(fd)); }
  int renameFile(const std::string& a, const std::string& b) override {
    if (failAt == "rename") return error;
    return posixFileSystem().renameFile(a, b);
  }
  int syncDirectory(const std::string& d) override { return posixFileSystem().syncDirectory(d); }
  void removeFile(const std::string& p) override { posixFileSystem().removeFile(p); }
};

TEST_F(StateFilesTest, AFailureAtAnyStepLeavesTheOldFilesWhole) {
  const std::string oldConfig(1024, '\x01');
  const std::string oldLive(10, '\x02');
  for (const char* step : {"open", "write", "fsync", "close", "rename"}) {
    writeFile(paths.configFile(), oldConfig);
    writeFile(paths.liveFile(), oldLive);
    state.locked([](DeviceData& d) { d.config.Mac[0] = 0x77; });
    FailingFs fs;
    fs.failAt = step;
    const Status status = FormClose(state, paths, host, fs);
    ASSERT_FALSE(status.ok()) << step;
    EXPECT_NE(status.text().find(std::strerror(ENOSPC)), std::string::npos) << status.text();
    EXPECT_NE(status.text().find("VXS1.dat"), std::string::npos) << status.text();
    EXPECT_EQ(readFile(paths.configFile()), oldConfig) << step;
    EXPECT_EQ(readFile(paths.liveFile()), oldLive) << step;  // never reached
    EXPECT_FALSE(testing::fileExists(paths.configFile() + ".tmp")) << step;
  }
}

TEST_F(StateFilesTest, AReadOnlyDirectoryFailsTheCloseWithThePlatformText) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  load();
  ::chmod(dir.path().c_str(), 0555);
  const Status status = FormClose(state, paths, host);
  ::chmod(dir.path().c_str(), 0755);
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.text().find(std::strerror(EACCES)), std::string::npos);
}

// A FIFO, a device or a directory in a state file's place reads as a failure, silently, without
// blocking the start-up; the close then leaves it where it was and says so.
TEST_F(StateFilesTest, AStateFileThatCannotBeReadIsLeftAsItWas) {
  struct Case {
    const char* what;
    const char* kind;  // of testing::makeSpecial
  };
  const Case cases[] = {{"fifo", "fifo"}, {"directory", "directory"}, {"device", "zero"}};
  for (const Case& c : cases) {
    for (const bool configFile : {true, false}) {
      const std::string special = configFile ? paths.configFile() : paths.liveFile();
      const std::string other = configFile ? paths.liveFile() : paths.configFile();
      std::filesystem::remove_all(special);
      std::filesystem::remove_all(other);
      testing::makeSpecial(c.kind, special);
      DeviceState fresh;
      const bool finished = testing::finishesWithin(
          2000, [&] { unread = LoadState(fresh, paths, host); }, special);
      ASSERT_TRUE(finished) << c.what << " as " << special;
      EXPECT_EQ(unread.config, configFile) << c.what;
      EXPECT_EQ(unread.live, !configFile) << c.what;
      // Nothing was read: the configuration keeps its defaults, the live record stays zero.
      const auto snap = fresh.snapshot();
      EXPECT_EQ(snap.config.Ip, (std::array<uint8_t, 4>{192, 168, 0, 250})) << c.what;
      if (!configFile) {
        EXPECT_EQ(snap.live.InputFlags(), 0) << c.what;
      }

      ASSERT_TRUE(FormClose(fresh, paths, host, posixFileSystem(), unread).ok()) << c.what;
      struct stat st {};
      ASSERT_EQ(::lstat(special.c_str(), &st), 0) << c.what;
      EXPECT_FALSE(S_ISREG(st.st_mode)) << c.what << ": replaced by a regular file";
      EXPECT_EQ(readFile(other).size(), configFile ? 10u : 1024u) << c.what;
      const std::string notice = keptFilesNotice(paths, unread);
      EXPECT_NE(notice.find(special), std::string::npos) << notice;
      EXPECT_NE(notice.find("left as it was"), std::string::npos) << notice;
      EXPECT_EQ(notice.find(other), std::string::npos) << notice;
    }
  }
  EXPECT_EQ(keptFilesNotice(paths, {}), "");
}

TEST_F(StateFilesTest, AFileWithoutReadPermissionIsNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file; the end-to-end test runs as nobody";
  writeFile(paths.configFile(), std::string(1024, '\x42'));
  ::chmod(paths.configFile().c_str(), 0);
  load();
  EXPECT_TRUE(unread.config);
  ASSERT_TRUE(FormClose(state, paths, host, posixFileSystem(), unread).ok());
  ::chmod(paths.configFile().c_str(), 0644);
  EXPECT_EQ(readFile(paths.configFile()), std::string(1024, '\x42'));
}

// A readable file, even an empty or short one, is read and written back whole.
TEST_F(StateFilesTest, ReadableFilesAreNotReportedUnread) {
  writeFile(paths.configFile(), "");
  writeFile(paths.liveFile(), "\x01");
  load();
  EXPECT_FALSE(unread.any());
  ASSERT_TRUE(FormClose(state, paths, host, posixFileSystem(), unread).ok());
  EXPECT_EQ(readFile(paths.configFile()).size(), 1024u);
  EXPECT_EQ(readFile(paths.liveFile()).size(), 10u);
}

}  // namespace
}  // namespace vexa
