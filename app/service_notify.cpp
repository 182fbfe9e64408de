#include "service_notify.h"

#include <systemd/sd-daemon.h>

namespace vexa {

void notifyReady(const std::string& status) {
  // One line: a line feed would start another assignment in the message.
  std::string line = status;
  for (char& c : line) c = c == '\n' || c == '\r' ? ' ' : c;
  ::sd_notify(0, ("READY=1\nSTATUS=" + line).c_str());
}

void notifyStopping() {
  ::sd_notify(0, "STOPPING=1");
}

}  // namespace vexa
