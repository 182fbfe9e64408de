#pragma once

namespace vexa {

// Makes the standard streams harmless before anything else runs. SIGPIPE is ignored
// process-wide, so a write to a closed pipe (stdout or stderr piped into a program that has
// ended) fails with EPIPE and is dropped instead of ending the unit with its changes unsaved.
// A descriptor 0, 1 or 2 that is not open is opened on /dev/null, so no file or socket opened
// later takes its number and receives console output. Call first thing in main, before any
// thread starts.
void protectStandardStreams();

}  // namespace vexa
