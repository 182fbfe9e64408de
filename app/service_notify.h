#pragma once

#include <string>

namespace vexa {

// Tells the service manager how the process stands, through the datagram socket named in
// $NOTIFY_SOCKET (systemd's Type=notify). Without that variable both calls do nothing, so a
// program started by hand, by a test rig or by a container engine is unaffected. A send that
// fails is ignored: the manager then times the start out, which is the right report.
// Main thread only.

// Every endpoint is bound and answering: READY=1, with `status` (one line) as STATUS=.
void notifyReady(const std::string& status);

// The orderly close has begun (the state is being saved): STOPPING=1.
void notifyStopping();

}  // namespace vexa
