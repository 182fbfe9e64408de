#include "file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>

namespace vexa {

namespace {

class PosixFileSystem final : public FileSystem {
 public:
  int createExclusive(const std::string& path, int& fd) override {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    return fd < 0 ? errno : 0;
  }
  int writeAll(int fd, std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
  }
  int syncFile(int fd) override { return ::fsync(fd) == 0 ? 0 : errno; }
  int closeFile(int fd) override { return ::close(fd) == 0 ? 0 : errno; }
  int renameFile(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }
  int syncDirectory(const std::string& directory) override {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result;
  }
  void removeFile(const std::string& path) override { ::unlink(path.c_str()); }
};

// Flushes in flight at once when many files are saved together.
constexpr size_t kFlushThreads = 32;

Status failure(const std::string& path, int error) {
  return Status::Error("Cannot create file \"" + path + "\". " + std::strerror(error));
}

// The folder a file sits in, ending in "/" ("." for a bare name).
std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// Writes `bytes` to `temporary` (one left over by a run killed mid-write is removed first)
// and flushes it. 0, or the error; a temporary created but not written whole is removed.
int writeTemporary(FileSystem& fs, const std::string& temporary, std::string_view bytes) {
  fs.removeFile(temporary);
  int fd = -1;
  if (int e = fs.createExclusive(temporary, fd)) return e;
  int e = fs.writeAll(fd, bytes);
  if (!e) e = fs.syncFile(fd);
  const int closeError = fs.closeFile(fd);
  if (!e) e = closeError;
  if (e) fs.removeFile(temporary);
  return e;
}

}  // namespace

FileSystem& posixFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

Status replaceFile(FileSystem& fs, const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".tmp";
  if (int e = writeTemporary(fs, temporary, bytes)) return failure(path, e);
  if (int e = fs.renameFile(temporary, path)) {
    fs.removeFile(temporary);
    return failure(path, e);
  }
  // The rename is durable once the directory is; a failure here leaves a whole file either way.
  fs.syncDirectory(directoryOf(path));
  return Status::Ok();
}

namespace {
// Runs `work(i)` for i in 0..count-1 on a few threads: flushes to disk wait mostly on the
// device, and the journal commits flushes that arrive together as one.
void onThreads(size_t count, const std::function<void(size_t)>& work) {
  const size_t threads = std::min<size_t>(kFlushThreads, count);
  std::atomic<size_t> next{0};
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t) {
    pool.emplace_back([&] {
      for (size_t i; (i = next++) < count;) work(i);
    });
  }
  for (size_t i; (i = next++) < count;) work(i);
  for (std::thread& t : pool) t.join();
}
}  // namespace

std::vector<Status> replaceFilesTogether(const std::vector<FileReplacement>& files) {
  FileSystem& fs = posixFileSystem();
  std::vector<Status> results(files.size(), Status::Ok());
  std::vector<char> written(files.size(), 0);
  // Every new content in its temporary file, flushed, before any rename. A file that depends
  // on another is written anyway and only held back from its rename.
  onThreads(files.size(), [&](size_t i) {
    const FileReplacement& f = files[i];
    if (int e = writeTemporary(fs, f.path + ".tmp", f.bytes)) {
      results[i] = failure(f.path, e);
      return;
    }
    written[i] = 1;
  });
  // The renames, side by side as well (on some file systems a rename over a file waits on the
  // journal); a file that depends on another is renamed right after it, if it was, and so on
  // down a chain.
  std::vector<std::vector<size_t>> dependents(files.size());
  std::vector<size_t> roots;
  for (size_t i = 0; i < files.size(); ++i) {
    if (files[i].after >= 0) {
      dependents[static_cast<size_t>(files[i].after)].push_back(i);
    } else {
      roots.push_back(i);
    }
  }
  auto renameOne = [&](size_t i, bool allowed) {
    if (!written[i]) return false;
    const std::string temporary = files[i].path + ".tmp";
    int e = 0;
    if (!allowed) {
      fs.removeFile(temporary);
      results[i] = Status::Error("not written: an earlier file of the batch failed");
      return false;
    }
    if ((e = fs.renameFile(temporary, files[i].path))) {
      fs.removeFile(temporary);
      results[i] = failure(files[i].path, e);
      return false;
    }
    return true;
  };
  auto renameChain = [&](auto& self, size_t i, bool allowed) -> void {
    const bool done = renameOne(i, allowed);
    for (size_t j : dependents[i]) self(self, j, done);
  };
  onThreads(roots.size(), [&](size_t r) { renameChain(renameChain, roots[r], true); });
  std::vector<std::string> directories;
  for (size_t i = 0; i < files.size(); ++i) {
    if (!results[i].ok()) continue;
    const std::string directory = directoryOf(files[i].path);
    if (directories.empty() || directories.back() != directory) directories.push_back(directory);
  }
  // The renames are durable once their directories are; a failure here leaves whole files.
  onThreads(directories.size(), [&](size_t i) { fs.syncDirectory(directories[i]); });
  return results;
}

}  // namespace vexa
