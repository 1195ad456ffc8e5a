// Reading large INI files and looking up every tag. Run one benchmark per
// process (--benchmark_filter) to get its own peak memory figure.
#include "ini/ini.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Layout {
  int sections;
  int items;  // per section
};

std::string Tag(int k) { return "parameter_" + std::to_string(k); }
std::string Section(int s) { return "Section" + std::to_string(s); }

// Writes the file once per process; returns its size in bytes.
long Generate(const std::string& path, Layout layout) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return -1;
  std::string block;
  for (int s = 0; s < layout.sections; ++s) {
    block.assign(1, '[').append(Section(s)).append("]\r\n");
    for (int k = 0; k < layout.items; ++k) block += Tag(k) + " = " + std::to_string(s * 7 + k) + "\r\n";
    block += "\r\n";
    std::fwrite(block.data(), 1, block.size(), f);
  }
  const long size = std::ftell(f);
  std::fclose(f);
  return size;
}

void ReadAndLookUp(benchmark::State& state, const char* name, Layout layout) {
  const std::string path = std::string("/tmp/") + name + "_" + std::to_string(::getpid()) + ".ini";
  const long bytes = Generate(path, layout);
  if (bytes < 0) {
    state.SkipWithError("cannot create the file");
    return;
  }
  long found = 0;
  for (auto _ : state) {
    IniText ini = Ini_New(1);
    if (Ini_ReadFromFile(ini, path.c_str()) != 0) {
      state.SkipWithError("read failed");
      break;
    }
    for (int s = 0; s < layout.sections; ++s) {
      const std::string sec = Section(s);
      for (int k = 0; k < layout.items; ++k) {
        int v = 0;
        if (Ini_GetInt(ini, sec.c_str(), Tag(k).c_str(), &v) == 1 && v == s * 7 + k) ++found;
      }
    }
    Ini_Dispose(ini);
  }
  std::remove(path.c_str());
  if (found != static_cast<long>(state.iterations()) * layout.sections * layout.items) {
    state.SkipWithError("a look-up failed");
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
  state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["lines"] = static_cast<double>(layout.sections) * (layout.items + 2);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_Read10MB(benchmark::State& state) { ReadAndLookUp(state, "ini_bench_10mb", {1000, 465}); }
void BM_Read100MB(benchmark::State& state) { ReadAndLookUp(state, "ini_bench_100mb", {10000, 465}); }
void BM_ReadMillionLines(benchmark::State& state) { ReadAndLookUp(state, "ini_bench_1m", {1, 1'000'000}); }

BENCHMARK(BM_Read10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read100MB)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReadMillionLines)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
