// Writes all 16 programs (ten parameters and "programmspeichern" each) to the
// simulator talking at the speed of the line, and compares the wall time with the
// time the characters need on the line and with the processor time it cost.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "olqzpk3x/olqzpk3x.h"
#include "sim_harness.h"

namespace {

constexpr int kPort = 1;

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Param {
  const char* keyword;
  double real;
  int integer;
  int valueChars;  // characters of the value text as sent
};

// One program's ten parameters as the operator window sends them.
const Param kProgram[] = {
    {"stromkurve", 0, 5, 1},   {"strom1", 0.5, 0, 5},   {"strom2", 1.25, 0, 5},
    {"zeit1", 100, 0, 3},      {"zeit2", 200, 0, 3},    {"frequenz", 1000, 0, 4},
    {"spannung", 24.0, 0, 4},  {"zyklen", 10, 0, 2},    {"regelgeschwindigkeit", 50, 0, 2},
    {"endstuferegeln", 0, 1, 1},
};

bool run(int baud) {
  simtest::SimOptions options;
  options.baud = baud;
  options.pace = true;
  simtest::Simulator sim(options);
  if (!sim.ok()) {
    std::printf("simulator not available\n");
    return false;
  }
  sim.mapToCom(kPort);
  if (OLQZPK3X_Open(kPort, baud) != 0 || OLQZPK3X_Timeout(kPort, 0.5) != 0) {
    std::printf("port not opened\n");
    return false;
  }
  long characters = 0;  // both directions: frame and ACK
  int transactions = 0;
  const double cpuStart = cpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  for (int program = 1; program <= 16; ++program) {
    for (const Param& p : kProgram) {
      if (OLQZPK3X_ParameterSchreiben(kPort, '1', p.keyword, p.real, p.integer, 0) != 0) {
        std::printf("write of %s failed\n", p.keyword);
        return false;
      }
      characters += 5 + p.valueChars + 1 + 1;
      ++transactions;
    }
    if (OLQZPK3X_ParameterSchreiben(kPort, '1', "programmspeichern", 0, program, 0) != 0) {
      std::printf("programmspeichern %d failed\n", program);
      return false;
    }
    characters += 5 + (program < 10 ? 1 : 2) + 1 + 1;
    ++transactions;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = cpuSeconds() - cpuStart;
  OLQZPK3X_Close(kPort);
  // What really crossed the line, by the simulator's log: each frame with its CR, and one ACK.
  long logged = 0;
  const std::vector<std::string> frames = sim.frames();
  for (const std::string& f : frames) logged += static_cast<long>(f.size()) + 1 + 1;
  if (static_cast<int>(frames.size()) != transactions || logged != characters) {
    std::printf("line log disagrees: %zu frames, %ld characters\n", frames.size(), logged);
    return false;
  }
  const double line = static_cast<double>(characters) * 10.0 / baud;
  std::printf("%5d baud: %d transactions, %ld characters, line %.3f s, wall %.3f s, "
              "wall/line %.4f (aim <= 1.03), cpu %.4f s, cpu/wall %.4f (aim <= 0.02)\n",
              baud, transactions, characters, line, wall, wall / line, cpu, cpu / wall);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool ok = true;
  // Optional arguments: the baud rates to run; default 9600 and 1200.
  if (argc > 1) {
    for (int i = 1; i < argc; ++i) ok = run(std::atoi(argv[i])) && ok;
  } else {
    ok = run(9600) && ok;
    ok = run(1200) && ok;
  }
  return ok ? 0 : 1;
}
