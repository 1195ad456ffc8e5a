// Trend window with a full day of data (172 800 queries):
//  1. processor time from one query's result to the repainted chart, with the
//     whole day shown at least 800 px wide (the program's own path: the query's
//     hand-over, the data, the thinning, the chart, the paint);
//  2. peak memory of the whole program (a fresh process running the real
//     start-up, the day fed in, the window drawn).
//
//   verlauf_aktualisierung_bench [updates]      (default 300)
#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "zpk3xSteuerung/VerlaufFenster.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_graph.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

extern char** environ;

namespace {

std::int64_t gUhrMs = 1796648601500;
std::int64_t Uhr() { return gUhrMs; }

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// A test cycle every 20 minutes: ramps of current, steady voltage, status bits.
void Abfrage(long i) {
  gUhrMs += 500;
  const double phase = std::fmod(i * 0.5, 1200.0);
  const bool laeuft = phase < 900;
  const double strom = laeuft ? 0.5 + 3.0 * std::fabs(std::sin(phase * 0.05)) : 0.0;
  const double spannung = laeuft ? 24.0 + 0.1 * std::sin(i * 0.7) : 0.0;
  const int status = laeuft ? 0x300 : 0x900;
  if (i % 5000 == 4999) VerlaufAbfrage(-403101, 0, 0, 0);
  else VerlaufAbfrage(0, strom, spannung, status);
}

void TagFuettern() {
  for (long i = 0; i < static_cast<long>(kVerlaufMaxProben); ++i) Abfrage(i);
}

class Malzaehler : public QObject {
 public:
  int n = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++n;
    return false;
  }
};

QWidget* Zeichenflaeche() {
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* g = top->findChild<QAbstractScrollArea*>(QStringLiteral("GRAPH"))) return g->viewport();
  return nullptr;
}

// The offscreen platform's screen is 800 px wide, and the toolkit keeps windows
// within the screen: the bench sizes the window itself, as on a larger screen.
void FensterGross() {
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->objectName() == QLatin1String("VERLAUFPANEL")) top->resize(1100, 600);
}

long SpitzeKb() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char zeile[256];
  long kb = -1;
  while (std::fgets(zeile, sizeof zeile, f))
    if (std::strncmp(zeile, "VmHWM:", 6) == 0) kb = std::atol(zeile + 6);
  std::fclose(f);
  return kb;
}

int Aktualisierungen(int anzahl) {
  char name[] = "verlauf_bench";
  char* argv[] = {name, nullptr};
  if (!InitUserInterface(1, argv)) return 2;
  TestAllowUnboundCallbacks(true);
  AlleCallbacksRegistrieren();
  VerlaufUhrSetzen(Uhr);
  TagFuettern();  // window closed: nothing is drawn yet
  if (VerlaufOeffnen() != 0) return 3;
  FensterGross();
  TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 0);  // all: the whole day
  ProcessSystemEvents();
  int breite = 0;
  GetGraphPlotWidth(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, &breite);
  QWidget* flaeche = Zeichenflaeche();
  if (!flaeche) return 4;
  Malzaehler zaehler;
  flaeche->installEventFilter(&zaehler);
  // A query whose value changes nothing that is drawn (at 24 h a pixel column
  // holds 180 queries) leaves the picture as it is: such updates are counted
  // apart from those that paint.
  std::vector<double> ms, gemalt;
  long i = static_cast<long>(kVerlaufMaxProben);
  for (int k = 0; k < anzahl; ++k) {
    const int vorher = zaehler.n;
    const double t0 = CpuMs();
    Abfrage(i++);
    ProcessSystemEvents();  // the chart's layout and the paint
    ms.push_back(CpuMs() - t0);
    if (zaehler.n != vorher) gemalt.push_back(ms.back());
  }
  if (gemalt.empty()) {
    std::fprintf(stderr, "no update was painted\n");
    return 5;
  }
  std::sort(ms.begin(), ms.end());
  std::sort(gemalt.begin(), gemalt.end());
  double summe = 0, summeGemalt = 0;
  for (double m : ms) summe += m;
  for (double m : gemalt) summeGemalt += m;
  if (breite < 800) {
    std::fprintf(stderr, "plot only %d px wide\n", breite);
    return 7;
  }
  std::printf("trend window, 24 h shown (%zu samples kept), plot %d px wide: processor time per query to repainted "
              "chart: mean %.2f ms, median %.2f ms, 95%% %.2f ms, max %.2f ms (%d updates); at one query per 0.5 s "
              "that is %.2f %% of one core\n",
              VerlaufDatenLesen().anzahl, breite, summe / ms.size(), ms[ms.size() / 2], ms[ms.size() * 95 / 100],
              ms.back(), anzahl, summe / ms.size() / 500.0 * 100.0);
  std::printf("  of these, %zu repainted the chart: mean %.2f ms, median %.2f ms, max %.2f ms\n", gemalt.size(),
              summeGemalt / gemalt.size(), gemalt[gemalt.size() / 2], gemalt.back());
  return 0;
}

// The whole program in a fresh process: real start-up, a day fed through the
// query's hand-over, the window open on the whole day, a few updates, the end.
void ProgrammKoerper() {
  VerlaufUhrSetzen(Uhr);
  TagFuettern();
  VerlaufOeffnen();
  FensterGross();
  TestOperatorSetValue(gVerlaufPanelHandle, VERLAUFPANEL_ZEITFENSTER, 0);
  for (long i = 0; i < 20; ++i) {
    Abfrage(static_cast<long>(kVerlaufMaxProben) + i);
    ProcessSystemEvents();
  }
  std::printf("%ld %zu\n", SpitzeKb(), VerlaufDatenLesen().anzahl);
  std::fflush(stdout);
  QuitUserInterface(0);
}

int Programm() {
  TestPopupAutomation(true);
  TestOnLoopStart(ProgrammKoerper);
  char name[] = "zpk3x";
  char* argv[] = {name, nullptr};
  return Zpk3xMain(1, argv) == 0 ? 0 : 6;
}

long SpitzeDesProgramms(const char* self) {
  const auto dir = std::filesystem::temp_directory_path() / ("verlauf_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string aus = (dir / "aus.txt").string();
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, aus.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
  char* args[] = {const_cast<char*>(self), const_cast<char*>("--programm"), nullptr};
  pid_t pid = 0;
  long kb = -1;
  if (posix_spawn(&pid, self, &fa, nullptr, args, environ) == 0) {
    int st = 0;
    waitpid(pid, &st, 0);
    if (WIFEXITED(st) && WEXITSTATUS(st) == 0)
      if (std::FILE* f = std::fopen(aus.c_str(), "r")) {
        std::size_t anzahl = 0;
        if (std::fscanf(f, "%ld %zu", &kb, &anzahl) != 2 || anzahl < kVerlaufMaxProben) kb = -1;
        std::fclose(f);
      }
  }
  posix_spawn_file_actions_destroy(&fa);
  std::filesystem::remove_all(dir);
  return kb;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc > 1 && std::strcmp(argv[1], "--programm") == 0) return Programm();
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  self[n] = 0;
  const long kb = SpitzeDesProgramms(self);
  if (kb < 0) {
    std::fprintf(stderr, "the program run failed\n");
    return 1;
  }
  std::printf("whole program with 24 h of data in the trend window: peak memory %.1f MB\n", kb / 1024.0);
  return Aktualisierungen(argc > 1 ? std::max(10, std::atoi(argv[1])) : 300);
}
