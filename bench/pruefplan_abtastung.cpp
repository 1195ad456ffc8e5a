// Test plans against the simulator talking at line speed:
//  1. the fastest sampling interval a measurement reaches at 9600 and 1200 baud,
//     against the line's limit (three reads per sample);
//  2. processor time over wall time of a long measurement (default 10 minutes,
//     "pruefplan_bench MINUTES" for another length);
//  3. the size of the record per hour of samples, at 1 s and at the fastest rate.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Pruefplan/Aufzeichnung.h"
#include "Pruefplan/Pruefplan.h"
#include "olqzpk3x/olqzpk3x.h"
#include "sim_harness.h"

namespace {

double Prozessorzeit() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

Pruefplan Messplan(double intervall, double dauer) {
  Pruefplan p;
  Planfehler f;
  char text[512];
  std::snprintf(text, sizeof text,
                "name = \"bench\"\n[[step]]\ntype = \"write\"\nvalues = { stromkurve = 8, strom1 = \"2.0 A\", zyklen = 65000, zeit1 = \"60 s\", zeit2 = \"60 s\" }\n"
                "[[step]]\ntype = \"start\"\n[[step]]\ntype = \"measure\"\ninterval = \"%.0f ms\"\nduration = \"%.0f s\"\n"
                "[[step.limit]]\nquantity = \"current\"\non = \"mean\"\nnominal = \"2 A\"\ntolerance = \"5 %%\"\n[[step]]\ntype = \"stop\"\n",
                intervall * 1000, dauer);
  if (PlanLesen(text, ".", &p, &f) != 0) {
    std::fprintf(stderr, "plan: %s\n", f.text.c_str());
    std::exit(1);
  }
  // The bench asks for faster than the line: what it reaches is the figure.
  p.schritte[2].intervall = intervall;
  return p;
}

Protokoll Laufen(int baud, double intervall, double dauer) {
  simtest::SimOptions o;
  o.baud = baud;
  o.pace = true;
  simtest::Simulator sim(o);
  sim.mapToCom(2);
  if (!sim.ok() || OLQZPK3X_Open(2, baud) != 0) {
    std::fprintf(stderr, "simulator or port failed\n");
    std::exit(1);
  }
  Laufangaben a;
  a.seriennummer = "BENCH";
  a.port = "2";
  a.baudrate = baud;
  Leitungsgeraet g({2, '1'});
  Protokoll p = PlanAusfuehren(Messplan(intervall, dauer), g, a);
  OLQZPK3X_Close(2);
  return p;
}

double MittlererAbstand(const Schrittergebnis& e) {
  if (e.proben.size() < 2) return 0;
  return (e.proben.back().t - e.proben.front().t) / static_cast<double>(e.proben.size() - 1);
}

}  // namespace

int main(int argc, char** argv) {
  OLQ_Fehlersprache(2);
  const double minuten = argc > 1 ? std::atof(argv[1]) : 10.0;
  std::printf("1. fastest sampling interval (interval asked 1 ms, 20 s of samples)\n");
  for (const int baud : {9600, 1200}) {
    const Protokoll p = Laufen(baud, 0.001, 20);
    const Schrittergebnis& e = p.schritte[2];
    const double erreicht = MittlererAbstand(e);
    std::printf("   %4d baud: %s, %zu samples, reached %.1f ms, line limit %.1f ms (three 6+12-character exchanges), "
                "ratio %.3f\n",
                baud, AusgangText(p.ausgang), e.proben.size(), erreicht * 1000, KleinsterAbstand(baud) * 1000,
                erreicht / KleinsterAbstand(baud));
  }

  std::printf("2. processor time over wall time, %.1f min at 9600 baud, interval 100 ms\n", minuten);
  const double cpu0 = Prozessorzeit();
  const auto w0 = std::chrono::steady_clock::now();
  const Protokoll lang = Laufen(9600, 0.1, minuten * 60);
  const double wand = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
  const double cpu = Prozessorzeit() - cpu0;
  std::printf("   %s, %zu samples, %zu ticks missed, wall %.1f s, processor %.2f s = %.3f %% of one processor\n",
              AusgangText(lang.ausgang), lang.schritte[2].proben.size(), static_cast<std::size_t>(lang.schritte[2].ausgelassen),
              wand, cpu, 100 * cpu / wand);

  std::printf("3. record size per hour of samples\n");
  for (const double intervall : {1.0, KleinsterAbstand(9600)}) {
    Protokoll p = lang;
    Schrittergebnis& e = p.schritte[2];
    const std::size_t n = static_cast<std::size_t>(3600 / intervall);
    const Probe muster = e.proben.empty() ? Probe{} : e.proben.back();
    e.proben.assign(n, muster);
    for (std::size_t i = 0; i < n; ++i) e.proben[i].t = static_cast<double>(i) * intervall, e.proben[i].zeitMs += static_cast<std::int64_t>(i * intervall * 1000);
    const auto groesse = [](const std::string& s) { return static_cast<double>(s.size()) / 1e6; };
    std::printf("   interval %6.1f ms (%zu samples): record.json %.2f MB, samples.csv %.2f MB, report.html %.3f MB, junit.xml %.4f MB\n",
                intervall * 1000, n, groesse(ProtokollJson(p).dump(1) + "\n"), groesse(ProtokollCsv(p)), groesse(ProtokollHtml(p)),
                groesse(ProtokollJunit(p)));
  }
  return 0;
}
