#pragma once

#include <chrono>
#include <cstddef>

namespace vexa::api {

// Every limit of the HTTP interface, with what happens past it. One instance per server; the
// defaults are what docs/api.md ("Limits") lists. A connection costs one descriptor and at most
// connectionMemory plus maxBodyBytes, never a thread.
struct HttpLimits {
  // The request line ("PATCH /api/v1/units/1?x=... HTTP/1.1"); longer: 414.
  size_t maxRequestLine = 8 * 1024;
  // Header lines of a request, trailers of a chunked body included; more: 431.
  size_t maxHeaderLines = 100;
  // Bytes of all header names and values together; more: 431.
  size_t maxHeaderBytes = 16 * 1024;
  // A request body, counted as it arrives whether sized by Content-Length or chunked; larger:
  // 413, answered before the rest is read, and the connection is closed.
  size_t maxBodyBytes = 64 * 1024;
  // The buffer a connection reads its request line and headers into (and writes its answer
  // from). Inputs that do not even fit it are refused by the HTTP library itself (414 or 431,
  // without a JSON body); it holds the limits above with room to spare, so they answer first.
  size_t connectionMemory = 64 * 1024;
  // From the connection's first byte (or the end of its previous answer) to a complete request:
  // past it the connection is closed, with 408 when a request had begun. Event streams are
  // exempt once answered; a request being answered is ours, not the client's, time.
  std::chrono::milliseconds requestDeadline{10000};
  // A connection whose client neither sends nor reads for this long is closed (a reader that
  // stopped reading an answer; the library counts whole seconds, so up to a second more). An
  // event stream whose reader acknowledges nothing this long while bytes wait for it is closed.
  std::chrono::seconds idleTimeout{10};
  // Event streams open at once; one more is refused with 503.
  int maxStreams = 32;
  // Threads that answer complete requests (the units' calls may block up to 2 s), and requests
  // that may wait for one; a request past the queue is refused with 503 ("busy").
  unsigned workers = 3;
  size_t workQueue = 64;
  // An event stream writes at most this often while events keep coming.
  std::chrono::milliseconds streamBatch{10};
  // An idle stream sends a comment this often, which also finds readers that have gone.
  std::chrono::milliseconds heartbeat{1000};
  // The dashboard's card stream sends at most this often.
  std::chrono::milliseconds cardInterval{100};
};

}  // namespace vexa::api
