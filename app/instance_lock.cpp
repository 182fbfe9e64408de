#include "instance_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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
  // An open-file-description lock: held by this open file, so a second taker in the same process
  // is refused as well, and closing some other descriptor of the file does not drop it.
  flock take = wholeFile(F_WRLCK);
  if (::fcntl(fd_, F_OFD_SETLK, &take) == 0) {
    // The holder's process id, for the message a second taker gives.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd_, 0) == 0) {
      [[maybe_unused]] const ssize_t n = ::pwrite(fd_, pid.data(), pid.size(), 0);
    }
    return;
  }
  if (errno != EACCES && errno != EAGAIN) return;
  acquired_ = false;
  // The holder wrote its id just after taking the lock; a short, bounded read.
  char text[24] = {};
  const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
  if (n > 0) {
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    if (end != text && *end == '\n' && pid > 0) holder_ = static_cast<pid_t>(pid);
  }
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
