// vexa-scenario-check FILE: loads a scenario file with the loader the simulator uses and reports
// "FILE: ok" (exit 0) or the field at fault (exit 2).
#include <cstdio>
#include <cstring>

#include "scenario_file.h"

namespace {

constexpr const char* kUsage =
    "usage: vexa-scenario-check FILE\n"
    "Checks a scenario file (docs/scenarios/README.md): prints \"FILE: ok\" and exits 0, or\n"
    "names the field at fault and exits 2.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const vexa::ScenarioLoad load = vexa::loadScenarioFile(argv[1]);
  if (!load.ok()) {
    std::fprintf(stderr, "%s\n", load.error.c_str());
    return 2;
  }
  std::printf("%s: ok\n", argv[1]);
  return 0;
}
