// Program entry of vexa-sim-headless: the simulator without any window code, for servers, the
// service manager and containers. Same options as vexa-sim; headless is implied, so --gui is
// refused.
#include "headless.h"
#include "program_start.h"
#include "standard_streams.h"

int main(int argc, char** argv) {
  vexa::protectStandardStreams();
  vexa::ProgramStart start = vexa::startProgram({"vexa-sim-headless", false, {}}, argc, argv);
  if (start.exitCode >= 0) return start.exitCode;
  return vexa::runHeadless(start.settings, std::move(start.plan), std::move(start.api));
}
