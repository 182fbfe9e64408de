// Any file contents and lengths as "VXS1.dat", "VXS2.dat" and "VX.ini" for the start-up load,
// then the close: the files written back are exactly 1024 and 10 bytes.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "state_files.h"

namespace {
struct NoHost final : vexa::StateHost {
  void setCycleInterval(int) override {}
  void moveLevelSliders() override {}
  void ShowConfig() override {}
  void setVersionTexts(const std::string&, const std::string&) override {}
  void seedRandom() override {}
  void selectStartVariant() override {}
  void switchEndpointOn() override {}
  void measurementTick() override {}
  void setCycleTimerEnabled(bool) override {}
};

void write(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}
size_t sizeOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return static_cast<size_t>(in.tellg());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = [] {
    char pattern[] = "/tmp/vexa-fuzz-XXXXXX";
    return std::string(::mkdtemp(pattern)) + "/";
  }();
  const vexa::StatePaths paths = vexa::StatePaths::forDirectory(dir);
  // The first two bytes split the input between the three files.
  const size_t a = size > 0 ? data[0] * 8u : 0, b = size > 1 ? data[1] : 0;
  const uint8_t* rest = data + std::min<size_t>(size, 2);
  const size_t left = size - std::min<size_t>(size, 2);
  const size_t configLength = std::min(a, left);
  const size_t liveLength = std::min(b, left - configLength);
  write(paths.configFile(), rest, configLength);
  write(paths.liveFile(), rest + configLength, liveLength);
  write(paths.IniPath, rest + configLength + liveLength, left - configLength - liveLength);
  vexa::DeviceState state;
  NoHost host;
  vexa::LoadState(state, paths, host);
  if (!vexa::FormClose(state, paths, host).ok()) std::abort();
  if (sizeOf(paths.configFile()) != 1024 || sizeOf(paths.liveFile()) != 10) std::abort();
  return 0;
}
