#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

#include "file_writer.h"
#include "temp_dir.h"

namespace vexa {
namespace {

using testing::readFile;
using testing::writeFile;

TEST(FilesTogether, EveryFileReplacedWholeAndAFailureHoldsBackItsDependent) {
  testing::TempDir dir;
  const int units = 40;
  std::vector<std::string> contents;
  std::vector<FileReplacement> files;
  for (int i = 0; i < units; ++i) {
    const std::string folder = dir.file("u" + std::to_string(i) + "/");
    ::mkdir(folder.c_str(), 0755);
    writeFile(folder + "a", "old a");
    writeFile(folder + "b", "old b");
    contents.push_back(std::string(1024, static_cast<char>('A' + i % 26)));
    contents.push_back(std::string(10, static_cast<char>('a' + i % 26)));
  }
  // Unit 7's first file cannot be replaced: a directory stands in its place.
  ::unlink(dir.file("u7/a").c_str());
  ::mkdir(dir.file("u7/a").c_str(), 0755);
  writeFile(dir.file("u7/a/keep"), "x");
  for (int i = 0; i < units; ++i) {
    const std::string folder = dir.file("u" + std::to_string(i) + "/");
    const int first = static_cast<int>(files.size());
    files.push_back({folder + "a", contents[2 * static_cast<size_t>(i)]});
    files.push_back({folder + "b", contents[2 * static_cast<size_t>(i) + 1], first});
  }
  const std::vector<Status> results = replaceFilesTogether(files);
  ASSERT_EQ(results.size(), files.size());
  for (int i = 0; i < units; ++i) {
    const std::string folder = dir.file("u" + std::to_string(i) + "/");
    if (i == 7) {
      EXPECT_FALSE(results[14].ok());
      EXPECT_NE(results[14].text().find("u7/a"), std::string::npos) << results[14].text();
      EXPECT_FALSE(results[15].ok());
      EXPECT_EQ(readFile(folder + "b"), "old b");  // held back with its unit's first file
      EXPECT_FALSE(testing::fileExists(folder + "b.tmp"));
      continue;
    }
    EXPECT_TRUE(results[2 * static_cast<size_t>(i)].ok()) << i;
    EXPECT_EQ(readFile(folder + "a"), contents[2 * static_cast<size_t>(i)]) << i;
    EXPECT_EQ(readFile(folder + "b"), contents[2 * static_cast<size_t>(i) + 1]) << i;
    EXPECT_FALSE(testing::fileExists(folder + "a.tmp")) << i;
  }
}

// A chain of files, each after the one before: all replaced, no temporary left behind; and
// when its first file fails, none of the chain is.
TEST(FilesTogether, AChainOfDependentsIsReplacedInOrderOrNotAtAll) {
  testing::TempDir dir;
  for (const bool firstFails : {false, true}) {
    std::vector<FileReplacement> files;
    for (int i = 0; i < 3; ++i) {
      const std::string path = dir.file("c" + std::to_string(i));
      writeFile(path, "old");
      files.push_back({path, "new", i - 1});
    }
    if (firstFails) {
      ::unlink(files[0].path.c_str());
      ::mkdir(files[0].path.c_str(), 0755);
      writeFile(files[0].path + "/keep", "x");
    }
    const std::vector<Status> results = replaceFilesTogether(files);
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(results[i].ok(), !firstFails) << i << " " << results[i].text();
      if (i > 0) {
        EXPECT_EQ(readFile(files[i].path), firstFails ? "old" : "new") << i;
      }
      EXPECT_FALSE(std::filesystem::exists(files[i].path + ".tmp")) << i;
    }
    ::unlink((files[0].path + "/keep").c_str());
    ::rmdir(files[0].path.c_str());
  }
}

TEST(FilesTogether, AnEmptyBatchDoesNothing) {
  EXPECT_TRUE(replaceFilesTogether({}).empty());
}

}  // namespace
}  // namespace vexa
