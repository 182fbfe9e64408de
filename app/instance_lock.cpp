#include "instance_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace vexa {

namespace {
flock wholeFile(short type) {
  flock region{};
  region.l_type = type;
  region.l_whence = SEEK_SET;
  return region;  // start 0, length 0: the whole file
}
}  // namespace

InstanceLock::InstanceLock(const std::string& path) {
  // Non-blocking, so a FIFO planted under the name cannot hold up the start.
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return;
  // A holder that ends between the failed lock and the query leaves the lock free: try again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    flock take = wholeFile(F_WRLCK);
    if (::fcntl(fd_, F_SETLK, &take) == 0) {
      const std::string pid = std::to_string(::getpid()) + "\n";
      if (::ftruncate(fd_, 0) == 0) {
        [[maybe_unused]] const ssize_t n = ::pwrite(fd_, pid.data(), pid.size(), 0);
      }
      acquired_ = true;
      return;
    }
    if (errno != EACCES && errno != EAGAIN) return;
    flock query = wholeFile(F_WRLCK);
    if (::fcntl(fd_, F_GETLK, &query) != 0) return;
    if (query.l_type != F_UNLCK) {
      acquired_ = false;
      holder_ = query.l_pid;
      return;
    }
  }
  acquired_ = false;  // taken and given up three times over: someone else is starting
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::string InstanceLock::pathFor(const std::string& stateDirectory) {
  return stateDirectory + "vexa-sim.lock";
}

std::string takenMessage(const std::string& directory, pid_t holder) {
  return "vexa-sim: state directory " + directory + " is taken by " +
         (holder > 0 ? "process " + std::to_string(holder) : std::string("another process"));
}

}  // namespace vexa
