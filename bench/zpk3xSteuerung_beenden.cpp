// Measures how long the program lives after the operator's "Beenden": a fresh
// process runs the whole program (offscreen, or on the display QT_QPA_PLATFORM
// names) in an empty working directory; as soon as its loop runs, it takes the
// time and chooses "Beenden" from the menu. Reported: from that choice to the
// process gone, as its parent sees it. With --port, port 1 is open on the
// simulator and the trend window is open, as at a test bench.
//
//   zpk3xSteuerung_beenden_bench [runs] [--port]     (default 15 runs)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Com/Com.h"
#include "sim_harness.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

extern char** environ;

namespace {

int gZeitRohr = -1;

double Jetzt() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Beenden() {
  if (std::getenv("ZPK3X_BENCH_PORT")) {
    gCom.port = 1;
    ComPortOeffnen();
    VerlaufOeffnen();
    TestRunEvents(300);
  }
  const double t = Jetzt();
  if (write(gZeitRohr, &t, sizeof t) != sizeof t) std::_Exit(4);
  TestOperatorMenu(gPanelHandle, MENUBAR_MENU_BEENDEN);
}

int Kind(int rohr) {
  gZeitRohr = rohr;
  TestOnLoopStart(Beenden);
  char name[] = "zpk3x";
  char* argv[] = {name, nullptr};
  return Zpk3xMain(1, argv);
}

// Milliseconds from "Beenden" to the process gone; -1 on failure.
double EinLauf(const std::string& self, const std::string& verzeichnis) {
  int rohr[2];
  if (pipe(rohr) != 0) return -1;
  const std::string fd = std::to_string(rohr[1]);
  std::vector<char*> args{const_cast<char*>(self.c_str()), const_cast<char*>("--child"), const_cast<char*>(fd.c_str()),
                          nullptr};
  posix_spawn_file_actions_t aktionen;  // the platform's notices would drown the figures
  posix_spawn_file_actions_init(&aktionen);
  posix_spawn_file_actions_addopen(&aktionen, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&aktionen, rohr[0]);
  std::filesystem::current_path(verzeichnis);
  pid_t pid = 0;
  const int gestartet = posix_spawn(&pid, self.c_str(), &aktionen, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&aktionen);
  close(rohr[1]);
  double beenden = -1;
  const bool gelesen = gestartet == 0 && read(rohr[0], &beenden, sizeof beenden) == sizeof beenden;
  close(rohr[0]);
  if (gestartet != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !gelesen) return -1;
  return Jetzt() - beenden;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--child") == 0) return Kind(std::atoi(argv[2]));
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int runs = 15;
  bool port = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0) port = true;
    else runs = std::max(1, std::atoi(argv[i]));
  }
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  self[n] = 0;
  char muster[] = "/tmp/zpk3x_beenden_XXXXXX";
  if (!mkdtemp(muster)) return 1;
  simtest::Simulator sim;
  if (port) {
    if (!sim.ok()) return 1;
    sim.mapToCom(1);
    setenv("ZPK3X_BENCH_PORT", "1", 1);
  }
  std::vector<double> ms;
  for (int i = 0; i <= runs; ++i) {
    const double t = EinLauf(self, muster);
    if (t < 0) {
      std::fprintf(stderr, "run %d failed\n", i);
      return 1;
    }
    if (i > 0) ms.push_back(t);  // the first warms the file cache
  }
  std::filesystem::remove_all(muster);
  std::sort(ms.begin(), ms.end());
  std::printf("\"Beenden\" to process gone%s: median %.1f ms, min %.1f ms, max %.1f ms (%d runs)\n",
              port ? " (port open, trend window open)" : "", ms[ms.size() / 2], ms.front(), ms.back(), runs);
  return 0;
}
