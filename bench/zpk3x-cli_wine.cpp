// zpk3x-cli.exe under wine, "write all" against the simulator talking at the
// speed of the line: wall time against the time the characters need on the line,
// and the command's processor time against its wall time.
// usage: zpk3x_cli_wine_bench <zpk3x-cli.exe> [baud...]   (WINEPREFIX: a ready prefix)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim_harness.h"

extern char** environ;

namespace {

struct Measured {
  bool ok = false;
  double wall = 0, cpu = 0;
};

// wine <exe> <args>, output discarded: its wall time and the processor time of
// the process (the Windows program runs inside it; the shared wineserver is apart).
Measured runUnderWine(const std::string& exe, std::vector<std::string> args) {
  args.insert(args.begin(), {"wine", exe});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  Measured m;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const bool started = posix_spawnp(&pid, "wine", &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage r{};
  if (!started || wait4(pid, &status, 0, &r) != pid) return m;
  m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.cpu = static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
          static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return m;
}

simtest::SimOptions pacedOnCom1(int baud) {
  const char* prefix = std::getenv("WINEPREFIX");
  simtest::SimOptions o;
  o.baud = baud;
  o.pace = true;
  o.extraArgs = {"--link", std::string(prefix != nullptr ? prefix : "") + "/dosdevices/com1"};
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::getenv("WINEPREFIX") == nullptr) {
    std::fprintf(stderr, "usage: WINEPREFIX=... zpk3x_cli_wine_bench <zpk3x-cli.exe> [baud...]\n");
    return 2;
  }
  const std::string exe = argv[1];
  std::vector<int> rates;
  for (int i = 2; i < argc; ++i) rates.push_back(std::atoi(argv[i]));
  if (rates.empty()) rates = {9600, 1200};

  char folder[] = "/tmp/zpk3x-cli-wine-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr || chdir(folder) != 0) return 1;
  // The programs to write: read once from a simulator with 16 distinct programs.
  {
    simtest::Simulator sim(pacedOnCom1(9600));
    for (int n = 1; n <= 16; ++n) {
      char line[160];
      std::snprintf(line, sizeof line, "program %d %d %.3f %.3f %d %d %d %.1f %d %d %d", n, n % 12 + 1, n * 0.125,
                    4.0 - n * 0.125, 100 * n, 50 + n, 1000 + n, 9.0 + n * 0.5, n, 10 + n, n % 2);
      sim.control(line);
    }
    if (!sim.ok() || !runUnderWine(exe, {"--port", "1", "read", "all", "-o", "p.zpk"}).ok) {
      std::printf("could not read the programs to write\n");
      return 1;
    }
  }
  bool ok = true;
  for (int baud : rates) {
    simtest::Simulator sim(pacedOnCom1(baud));
    sim.clearFrames();
    const Measured m = runUnderWine(exe, {"--port", "1", "--baud", std::to_string(baud), "write", "all", "-i", "p.zpk"});
    const std::vector<std::string> frames = sim.frames();
    if (!m.ok || frames.size() != 176) {
      std::printf("write all at %d baud failed (%zu frames)\n", baud, frames.size());
      ok = false;
      continue;
    }
    long characters = 0;
    for (const std::string& f : frames) characters += static_cast<long>(f.size()) + 1 + 1;  // CR, then ACK
    const double line = static_cast<double>(characters) * 10.0 / baud;
    std::printf("write all under wine %5d baud: 176 frames, %ld characters, line %.3f s, wall %.3f s, "
                "wall/line %.4f (aim <= 1.05), cpu %.4f s, cpu/wall %.4f\n",
                baud, characters, line, m.wall, m.wall / line, m.cpu, m.cpu / m.wall);
  }
  unlink("p.zpk");
  chdir("/");
  rmdir(folder);
  return ok ? 0 : 1;
}
