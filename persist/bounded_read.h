#pragma once

#include <cstddef>
#include <string>

namespace vexa {

// What reading a file found.
struct BoundedRead {
  enum class Outcome {
    Missing,     // no file of that name (a dangling link counts as none)
    Read,        // a regular file, read from its start
    Unreadable,  // it exists but could not be read: no permission, not a regular file (a FIFO,
                 // a device, a directory, a socket) or a read error
  };
  Outcome outcome = Outcome::Missing;
  std::string bytes;       // at most the limit; after a read error, what came before it
  bool truncated = false;  // the file holds more than the limit
  bool special = false;    // unreadable because it is not a regular file
  int error = 0;           // errno of an unreadable file, 0 otherwise
  unsigned mode = 0;       // the permission bits (07777) of a file that was opened

  bool unreadable() const { return outcome == Outcome::Unreadable; }
};

// Reads the start of a regular file without ever blocking and without reading more than
// `limit` + 1 bytes: the file is opened non-blocking and checked with fstat after the open, so
// a FIFO, a terminal or /dev/zero in its place is refused rather than waited on or read without
// end. Safe from any thread.
BoundedRead readRegularFile(const std::string& path, size_t limit);

}  // namespace vexa
