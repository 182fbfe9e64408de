// Floods a simulator on 127.0.0.1 with a mix of valid and malformed lines, keeping up to 32
// datagrams in flight, and counts what was answered: flood PORT COUNT
// Prints "sent=N answered=M expected=E" where E is the number of line feeds sent.
#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "udp_client.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: flood PORT COUNT\n");
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  const long count = std::atol(argv[2]);
  const std::string datagrams[] = {"snd000\n",
                                   "rPr000\n",
                                   "rst000001 0000000\n",
                                   "wSc000,750,001,002\n",
                                   "\xFF\x80garbage\x01\n",
                                   "no line feed",
                                   "",
                                   "snd000\nrPr000\nwMc000,001\n",
                                   std::string(9000, 'x') + "\n"};
  long sent = 0, answered = 0, expected = 0, inFlight = 0;
  vexa::UdpClient client;
  client.setTarget("127.0.0.1", port);
  while (sent < count || inFlight > 0) {
    while (sent < count && inFlight < 32) {
      const std::string& d = datagrams[sent % 9];
      client.send(d);
      ++sent;
      long lines = 0;
      for (char c : d) lines += c == '\n';
      if (d.size() > 8192) lines = 0;  // dropped whole by the endpoint
      expected += lines;
      inFlight += lines;
    }
    if (auto reply = client.receive(inFlight > 0 ? 200 : 0)) {
      ++answered;
      --inFlight;
    } else if (inFlight > 0) {
      inFlight = 0;  // lost by the kernel under load: go on
    }
  }
  std::printf("sent=%ld answered=%ld expected=%ld\n", sent, answered, expected);
  return 0;
}
