#include "file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

Status failure(const std::string& path, int error) {
  return Status::Error("Cannot create file \"" + path + "\". " + std::strerror(error));
}

}  // namespace

FileSystem& posixFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

Status replaceFile(FileSystem& fs, const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".tmp";
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  fs.removeFile(temporary);  // left over by a run that was killed mid-write
  int fd = -1;
  if (int e = fs.createExclusive(temporary, fd)) return failure(path, e);
  int e = fs.writeAll(fd, bytes);
  if (!e) e = fs.syncFile(fd);
  const int closeError = fs.closeFile(fd);
  if (!e) e = closeError;
  if (!e) e = fs.renameFile(temporary, path);
  if (e) {
    fs.removeFile(temporary);
    return failure(path, e);
  }
  // The rename is durable once the directory is; a failure here leaves a whole file either way.
  fs.syncDirectory(directory);
  return Status::Ok();
}

}  // namespace vexa
