// Software cost of one transaction against the simulator, without line pacing.
#include <benchmark/benchmark.h>

#include "olqzpk3x/olqzpk3x.h"
#include "sim_harness.h"

namespace {

constexpr int kPort = 1;

struct Link {
  simtest::Simulator sim;
  bool ok = false;
  Link() {
    if (!sim.ok()) return;
    sim.mapToCom(kPort);
    ok = OLQZPK3X_Open(kPort, 9600) == 0 && OLQZPK3X_Timeout(kPort, 0.5) == 0;
  }
  ~Link() { OLQZPK3X_Close(kPort); }
};

void BM_ParameterSchreiben(benchmark::State& state) {
  Link link;
  if (!link.ok) {
    state.SkipWithError("simulator not available");
    return;
  }
  for (auto _ : state) {
    ErrorCode r = OLQZPK3X_ParameterSchreiben(kPort, '1', "strom1", 1.25, 0, 0);
    if (r != 0) state.SkipWithError("transaction failed");
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_ParameterSchreiben)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ParameterLesen(benchmark::State& state) {
  Link link;
  if (!link.ok) {
    state.SkipWithError("simulator not available");
    return;
  }
  double value = 0;
  for (auto _ : state) {
    ErrorCode r = OLQZPK3X_ParameterLesen(kPort, '1', "strom1", &value, nullptr, nullptr);
    if (r != 0) state.SkipWithError("transaction failed");
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_ParameterLesen)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
