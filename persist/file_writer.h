#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "status.h"

namespace vexa {

// The file operations a safe replace needs, behind a seam so tests can make any step fail.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Each returns 0 or an errno value.
  virtual int createExclusive(const std::string& path, int& fd) = 0;
  virtual int writeAll(int fd, std::string_view bytes) = 0;
  virtual int syncFile(int fd) = 0;
  virtual int closeFile(int fd) = 0;
  virtual int renameFile(const std::string& from, const std::string& to) = 0;
  virtual int syncDirectory(const std::string& directory) = 0;
  virtual void removeFile(const std::string& path) = 0;
};

// The real POSIX file system.
FileSystem& posixFileSystem();

// Replaces the file at `path` with exactly `bytes`, never leaving it truncated or half
// written: the bytes go to a temporary file in the same directory, are flushed to disk and
// renamed over the old file. On failure the temporary file is removed, the old file is left as
// it was, and the status carries the platform's error text.
Status replaceFile(FileSystem& fs, const std::string& path, std::string_view bytes);

// One file of a batch: where, and its whole new content.
struct FileReplacement {
  std::string path;
  std::string_view bytes;
  // When set, this file is replaced only if the one at this earlier index of the batch was
  // (so a unit whose "VXS1.dat" failed keeps its old "VXS2.dat" as well).
  int after = -1;
};

// Replaces many files with the same guarantee as `replaceFile`, with the flushes to disk done
// side by side on a few threads (so the journal commits them together) instead of one after
// another: every new content goes to its temporary file and is flushed, then each is renamed
// over its old file, then the directories are flushed. A crash at any moment leaves every file
// either old or new, and whole. Returns one status per file, in order. Call from one thread.
std::vector<Status> replaceFilesTogether(const std::vector<FileReplacement>& files);

}  // namespace vexa
