#include "descriptor_limit.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace vexa {

Status ensureDescriptorLimit(size_t needed) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return Status::Error(std::strerror(errno));
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur >= needed) return Status::Ok();
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < needed) {
    return Status::Error("this run needs " + std::to_string(needed) +
                         " open files but the hard limit is " + std::to_string(limit.rlim_max) +
                         "; raise it (ulimit -Hn, LimitNOFILE= in a service, or "
                         "/etc/security/limits.conf) or start fewer units");
  }
  limit.rlim_cur = limit.rlim_max;
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
    return Status::Error(std::string("cannot raise the open-file limit: ") + std::strerror(errno));
  }
  return Status::Ok();
}

}  // namespace vexa
