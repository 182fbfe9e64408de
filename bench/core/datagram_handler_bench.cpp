// Lines per second through the datagram handler: interpretation, framing in variant 4 and the
// reply hand-off, with no panel or log attached.
#include <benchmark/benchmark.h>

#include "datagram_handler.h"

namespace vexa {
namespace {

struct Discard final : ReplySender {
  size_t bytes = 0;
  bool Send(std::string_view reply) override {
    bytes += reply.size();
    return true;
  }
};

void runLines(benchmark::State& run, std::string_view datagram) {
  DeviceState state;
  state.locked([](DeviceData& d) {
    writeStartupDefaults(d);
    d.MeasureText = "20,50,250,0,1,1,0,0,";
  });
  MonotonicTickSource ticks;
  DatagramHandler handler(state, ticks);
  Discard sink;
  for (auto _ : run) {
    handler.UDPUDPRead(datagram, sink);
    benchmark::DoNotOptimize(sink.bytes);
  }
  run.SetItemsProcessed(run.iterations());
}

void BM_Rpr(benchmark::State& run) {
  runLines(run, "rPr000\n");
}
void BM_Snd(benchmark::State& run) {
  runLines(run, "snd000\n");
}
BENCHMARK(BM_Rpr);
BENCHMARK(BM_Snd);

}  // namespace
}  // namespace vexa
