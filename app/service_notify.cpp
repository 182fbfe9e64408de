#include "service_notify.h"

#include <systemd/sd-daemon.h>

#include "text_format.h"

namespace vexa {

void notifyReady(const std::string& status) {
  // One line: a line feed would start another assignment in the message.
  ::sd_notify(0, ("READY=1\nSTATUS=" + oneLine(status)).c_str());
}

void notifyStopping() {
  ::sd_notify(0, "STOPPING=1");
}

}  // namespace vexa
