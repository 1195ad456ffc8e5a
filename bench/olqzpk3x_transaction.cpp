// Software cost of one transaction against the simulator, without line pacing.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "olqzpk3x/olqzpk3x.h"
#include "sim_harness.h"

namespace {

constexpr int kPort = 1;

struct Link {
  simtest::Simulator sim;
  bool ok = false;
  explicit Link(long baud = 9600) {
    if (!sim.ok()) return;
    sim.mapToCom(kPort);
    ok = OLQZPK3X_Open(kPort, baud) == 0 && OLQZPK3X_Timeout(kPort, 0.5) == 0;
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

// The floor for BM_ParameterSchreiben: the same frame as a bare write/poll/read
// loop on the simulator's terminal. The difference is the driver's own time per
// transaction (aim: within 50 us).
void BM_Boden(benchmark::State& state) {
  simtest::Simulator sim;
  const int fd = sim.ok() ? ::open(sim.ptyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
  if (fd < 0) {
    state.SkipWithError("simulator not available");
    return;
  }
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  static const char kRahmen[] = "#1C1W1.25\r";
  for (auto _ : state) {
    char c = 0;
    pollfd p{fd, POLLIN, 0};
    if (::write(fd, kRahmen, sizeof kRahmen - 1) != sizeof kRahmen - 1 || ::poll(&p, 1, 500) != 1 || ::read(fd, &c, 1) != 1 ||
        c != 0x06)
      state.SkipWithError("no acknowledgement");
  }
  ::close(fd);
}
BENCHMARK(BM_Boden)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

// The check for a stray byte after a device-changing operation: two character
// times on the line (2.08 ms at 9600 baud, 16.7 ms at 1200), nothing more.
void BM_ImTaktPruefen(benchmark::State& state) {
  Link link(state.range(0));
  if (!link.ok) {
    state.SkipWithError("simulator not available");
    return;
  }
  for (auto _ : state) {
    ErrorCode r = OLQZPK3X_ImTaktPruefen(kPort);
    if (r != 0) state.SkipWithError("stray byte");
    benchmark::DoNotOptimize(r);
  }
  state.counters["aim_ms"] = 2 * 10.0 / static_cast<double>(state.range(0)) * 1000;
}
BENCHMARK(BM_ImTaktPruefen)->Arg(9600)->Arg(1200)->Unit(benchmark::kMillisecond)->UseRealTime();

// The failure path: a command whose answer came too late, then the next
// command, which first proves the line in step (one status read).
void BM_NachSpaeterAntwort(benchmark::State& state) {
  Link link;
  if (!link.ok) {
    state.SkipWithError("simulator not available");
    return;
  }
  OLQZPK3X_Timeout(kPort, 0.05);
  for (auto _ : state) {
    state.PauseTiming();
    link.sim.control("fault late DF1 60");
    if (OLQZPK3X_DeviceFunction(kPort, '1', "start") == 0) state.SkipWithError("answered in time");
    link.sim.control("fault none");
    state.ResumeTiming();
    ErrorCode r = OLQZPK3X_DeviceFunction(kPort, '1', "stopp");
    if (r != 0) state.SkipWithError("the next command failed");
  }
}
BENCHMARK(BM_NachSpaeterAntwort)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

BENCHMARK_MAIN();
