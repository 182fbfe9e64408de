#include "bounded_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vexa {

BoundedRead readRegularFile(const std::string& path, size_t limit) {
  BoundedRead result;
  auto unreadable = [&](int error, bool special = false) {
    result.outcome = BoundedRead::Outcome::Unreadable;
    result.error = error;
    result.special = special;
    return result;
  };
  // A special file is refused before it is opened, so opening it has no side effect; the fstat
  // below catches a file swapped in between.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return result;
    return unreadable(errno);
  }
  if (!S_ISREG(st.st_mode)) return unreadable(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, true);
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return result;
    return unreadable(errno);
  }
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return unreadable(error);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return unreadable(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, true);
  }
  result.outcome = BoundedRead::Outcome::Read;
  result.mode = static_cast<unsigned>(st.st_mode) & 07777u;
  // One byte past the limit tells a file that is longer than the limit.
  std::string buffer(limit + 1, '\0');
  size_t total = 0;
  while (total < buffer.size()) {
    const ssize_t n = ::read(fd, buffer.data() + total, buffer.size() - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.outcome = BoundedRead::Outcome::Unreadable;
      result.error = errno;
      break;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  ::close(fd);
  result.truncated = total > limit;
  buffer.resize(total > limit ? limit : total);
  result.bytes = std::move(buffer);
  return result;
}

}  // namespace vexa
