// Measures the cold start of the windows: a fresh process is started, loads the
// three windows and shows the operator window, then ends. Reports the wall time
// from starting the process to the window shown, and the process's peak memory.
//
//   toolkit_startup_bench [runs]        (default 15 runs)
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

int child(const char* file) {
  char name[] = "toolkit_startup_bench";
  char* argv[] = {name, nullptr};
  if (!InitUserInterface(1, argv)) return 2;
  TestAllowUnboundCallbacks(true);
  const int main = LoadPanel(0, file, MAINPANEL);
  const int com = LoadPanel(main, file, COMPANEL);
  const int info = LoadPanel(0, file, INFOPANEL);
  if (main < 0 || com < 0 || info < 0) return 3;
  DisplayPanel(main);
  ProcessSystemEvents();  // the first paint
  std::fflush(stdout);
  std::_Exit(0);  // the measurement ends with the window shown
}

struct Run {
  double ms;
  long maxrssKb;
};

Run spawnOnce(const std::string& self, const char* file) {
  std::vector<char*> args{const_cast<char*>(self.c_str()), const_cast<char*>("--child"), const_cast<char*>(file),
                          nullptr};
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = 0;
  posix_spawn_file_actions_t quiet;  // the platform's notices would drown the figures
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  const int spawned = posix_spawn(&pid, self.c_str(), &quiet, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) return {-1, 0};
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {-1, 0};
  const auto t1 = std::chrono::steady_clock::now();
  return {std::chrono::duration<double, std::milli>(t1 - t0).count(), ru.ru_maxrss};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--child") == 0) return child(argv[2]);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  self[n] = 0;
  for (const char* file : {"zpk3xSteuerung.uir", "zpk3xSteuerung_en.uir"}) {
    spawnOnce(self, file);  // warms the file cache: "cold" means a new process, not a cold disk
    std::vector<double> ms;
    long rss = 0;
    for (int i = 0; i < runs; ++i) {
      const Run r = spawnOnce(self, file);
      if (r.ms < 0) {
        std::fprintf(stderr, "start %d failed\n", i);
        return 1;
      }
      ms.push_back(r.ms);
      rss = std::max(rss, r.maxrssKb);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-24s start to window shown: median %.1f ms, min %.1f ms, max %.1f ms (%d runs); peak memory %.1f MB\n",
                file, ms[ms.size() / 2], ms.front(), ms.back(), runs, rss / 1024.0);
  }
  return 0;
}
