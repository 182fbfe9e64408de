#pragma once

#include <sys/types.h>

#include <string>

namespace vexa {

// One instance per state directory: a lock held for the life of the process that tells a second
// taker it is already held, and by which process. It is an open-file-description lock on the
// file "vexa-sim.lock" in the state directory, so nothing is left elsewhere (the file stays,
// holding the last holder's process id; removing it would let two processes lock two different
// files). The kernel drops the lock when the process ends, however it ends.
class InstanceLock {
 public:
  explicit InstanceLock(const std::string& path);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // False when another process holds it. A lock file that cannot be opened or locked for any
  // other reason counts as free, so start-up goes on as a first instance.
  bool acquired() const { return acquired_; }
  // The process holding it when it is not acquired, as the holder wrote it into the file; 0
  // when that cannot be told (a holder that has not written it yet).
  pid_t holder() const { return holder_; }

  // The lock file of a state directory (which ends in "/").
  static std::string pathFor(const std::string& stateDirectory);

 private:
  int fd_ = -1;
  bool acquired_ = true;
  pid_t holder_ = 0;
};

// The line for stderr when `directory` is taken: "vexa-sim: state directory D is taken by
// process N".
std::string takenMessage(const std::string& directory, pid_t holder);

}  // namespace vexa
