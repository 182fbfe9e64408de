#include "bounded_read.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "nonregular_files.h"
#include "temp_dir.h"

namespace vexa {
namespace {

using Outcome = BoundedRead::Outcome;

TEST(BoundedRead, EveryLengthAroundTheLimit) {
  testing::TempDir dir;
  const size_t limit = 16;
  std::string full;
  for (int i = 0; i < 40; ++i) full += static_cast<char>('a' + i % 26);
  for (size_t length = 0; length <= full.size(); ++length) {
    testing::writeFile(dir.file("f"), full.substr(0, length));
    const BoundedRead r = readRegularFile(dir.file("f"), limit);
    ASSERT_EQ(r.outcome, Outcome::Read) << length;
    EXPECT_EQ(r.bytes, full.substr(0, std::min(length, limit))) << length;
    EXPECT_EQ(r.truncated, length > limit) << length;
    EXPECT_EQ(r.error, 0);
  }
}

TEST(BoundedRead, AMissingFileIsMissing) {
  testing::TempDir dir;
  EXPECT_EQ(readRegularFile(dir.file("none"), 10).outcome, Outcome::Missing);
  EXPECT_EQ(readRegularFile(dir.file("none/below"), 10).outcome, Outcome::Missing);
  ASSERT_EQ(::symlink(dir.file("none").c_str(), dir.file("dangling").c_str()), 0);
  EXPECT_EQ(readRegularFile(dir.file("dangling"), 10).outcome, Outcome::Missing);
}

TEST(BoundedRead, SpecialFilesAreUnreadableAndNeverBlock) {
  testing::TempDir dir;
  ASSERT_TRUE(testing::makeFifo(dir.file("fifo")));
  ::mkdir(dir.file("directory").c_str(), 0755);
  ASSERT_EQ(::symlink("/dev/zero", dir.file("zero").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/null", dir.file("null").c_str()), 0);
  ASSERT_EQ(::symlink(dir.file("fifo").c_str(), dir.file("to-fifo").c_str()), 0);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", dir.file("socket").c_str());
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  for (const char* name : {"fifo", "directory", "zero", "null", "to-fifo", "socket"}) {
    BoundedRead r;
    const bool finished = testing::finishesWithin(
        2000, [&] { r = readRegularFile(dir.file(name), 1024); }, dir.file("fifo"));
    EXPECT_TRUE(finished) << name;
    EXPECT_EQ(r.outcome, Outcome::Unreadable) << name;
    EXPECT_NE(r.error, 0) << name;
    EXPECT_TRUE(r.bytes.empty()) << name;
  }
  ::close(listener);
}

TEST(BoundedRead, AFileWithoutReadPermissionIsUnreadable) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  testing::TempDir dir;
  testing::writeFile(dir.file("f"), "secret");
  ::chmod(dir.file("f").c_str(), 0);
  const BoundedRead r = readRegularFile(dir.file("f"), 100);
  EXPECT_EQ(r.outcome, Outcome::Unreadable);
  EXPECT_EQ(r.error, EACCES);
}

}  // namespace
}  // namespace vexa
