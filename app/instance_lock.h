#pragma once

#include <string>

namespace vexa {

// A lock held for the life of the process that tells a second taker it is already held: an
// advisory lock on a file. The kernel drops it when the process ends, however it ends.
class InstanceLock {
 public:
  explicit InstanceLock(const std::string& path);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // False when another process holds it. A lock file that cannot be opened counts as free, so
  // start-up goes on as a first instance.
  bool acquired() const { return acquired_; }

  // The lock's path for a name: in XDG_RUNTIME_DIR, else the temporary directory.
  static std::string pathFor(const std::string& name);

 private:
  int fd_ = -1;
  bool acquired_ = true;
};

}  // namespace vexa
