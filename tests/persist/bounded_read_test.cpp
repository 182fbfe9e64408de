#include "bounded_read.h"

#include <gtest/gtest.h>

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
  for (const char* kind : {"fifo", "directory", "zero", "null", "socket"}) {
    ASSERT_NO_FATAL_FAILURE(testing::makeSpecial(kind, dir.file(kind)));
  }
  ASSERT_EQ(::symlink(dir.file("fifo").c_str(), dir.file("to-fifo").c_str()), 0);
  for (const char* name : {"fifo", "directory", "zero", "null", "to-fifo", "socket"}) {
    BoundedRead r;
    const bool finished = testing::finishesWithin(
        2000, [&] { r = readRegularFile(dir.file(name), 1024); }, dir.file("fifo"));
    EXPECT_TRUE(finished) << name;
    EXPECT_EQ(r.outcome, Outcome::Unreadable) << name;
    EXPECT_NE(r.error, 0) << name;
    EXPECT_TRUE(r.bytes.empty()) << name;
  }
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
