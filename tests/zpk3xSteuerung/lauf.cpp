#include "lauf.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace lauf {

void KonfigurationSchreiben(int port, int sprache, int baudrate) {
  DateiSchreiben("zpk3xSteuerung.ini", "[ZPK3X]\nport = " + std::to_string(port) +
                                           "\nbaudrate = " + std::to_string(baudrate) +
                                           "\nsprache = " + std::to_string(sprache) + "\n");
}

namespace {
std::function<void()> gKoerper;
void KoerperAusfuehren() {
  TestPopupAutomation(true);
  if (gKoerper) gKoerper();
  QuitUserInterface(0);
}
}  // namespace

int ProgrammLaufen(const std::function<void()>& koerper) {
  gKoerper = koerper;
  TestOnLoopStart(KoerperAusfuehren);
  char name[] = "zpk3x";
  char* argv[] = {name, nullptr};
  int ergebnis = Zpk3xMain(1, argv);
  gKoerper = nullptr;
  return ergebnis;
}

namespace {

std::string Fest(double wert, int stellen) {
  char puffer[64];
  auto r = std::to_chars(puffer, puffer + sizeof puffer, wert, std::chars_format::fixed, stellen);
  return std::string(puffer, r.ptr);
}

double AlsZahl(const std::string& t) {
  double v = 0.0;
  std::from_chars(t.data(), t.data() + t.size(), v);
  return v;
}

int AlsGanzzahl(const std::string& t) {
  int v = 0;
  std::from_chars(t.data(), t.data() + t.size(), v);
  return v;
}

}  // namespace

Programmtexte UnterscheidbaresProgramm(int n) {
  // Every field differs between programs and from the defaults, and stays
  // inside the ranges the device accepts.
  Programmtexte t;
  t.felder[0] = std::to_string(n % 12 + 1);
  t.felder[1] = Fest(0.101 + 0.013 * n, 3);
  t.felder[2] = Fest(3.917 - 0.011 * n, 3);
  t.felder[3] = std::to_string(100 + 7 * n);
  t.felder[4] = std::to_string(65000 - 3 * n);
  t.felder[5] = std::to_string(25 + 97 * n);
  t.felder[6] = Fest(9.5 + 2.5 * n, 1);
  t.felder[7] = std::to_string(2 + n);
  t.felder[8] = std::to_string(480 - 9 * n);
  t.felder[9] = std::to_string((n + 1) % 2);
  return t;
}

ProgramRecord AlsRecord(const Programmtexte& t) {
  ProgramRecord r{};
  r.stromkurve = AlsGanzzahl(t.felder[0]);
  r.strom1 = AlsZahl(t.felder[1]);
  r.strom2 = AlsZahl(t.felder[2]);
  r.zeit1 = AlsZahl(t.felder[3]);
  r.zeit2 = AlsZahl(t.felder[4]);
  r.frequenz = AlsZahl(t.felder[5]);
  r.spannung = AlsZahl(t.felder[6]);
  r.zyklen = AlsZahl(t.felder[7]);
  r.regelgeschwindigkeit = AlsZahl(t.felder[8]);
  r.endstuferegeln = AlsGanzzahl(t.felder[9]);
  return r;
}

std::string SimulatorBefehl(int n, const Programmtexte& t) {
  std::string b = "program " + std::to_string(n);
  for (const std::string& f : t.felder) b += " " + f;
  return b;
}

bool DumpZeile(const std::string& zeile, int* n, ProgramRecord* rec) {
  std::istringstream s(zeile);
  std::string wort;
  if (!(s >> wort) || wort != "program") return false;
  std::string nummer;
  if (!(s >> nummer)) return false;
  Programmtexte t;
  for (std::string& f : t.felder) {
    if (!(s >> f)) return false;
  }
  *n = AlsGanzzahl(nummer);
  *rec = AlsRecord(t);
  return true;
}

bool Gleich(const ProgramRecord& a, const ProgramRecord& b) {
  auto nah = [](double x, double y) { return std::abs(x - y) <= 1e-9 * (1.0 + std::abs(x)); };
  return a.stromkurve == b.stromkurve && nah(a.strom1, b.strom1) && nah(a.strom2, b.strom2) &&
         nah(a.zeit1, b.zeit1) && nah(a.zeit2, b.zeit2) && nah(a.frequenz, b.frequenz) &&
         nah(a.spannung, b.spannung) && nah(a.zyklen, b.zyklen) &&
         nah(a.regelgeschwindigkeit, b.regelgeschwindigkeit) && a.endstuferegeln == b.endstuferegeln;
}

std::string Beschreibung(const ProgramRecord& r) {
  std::ostringstream s;
  s << r.stromkurve << " " << r.strom1 << " " << r.strom2 << " " << r.zeit1 << " " << r.zeit2 << " "
    << r.frequenz << " " << r.spannung << " " << r.zyklen << " " << r.regelgeschwindigkeit << " "
    << r.endstuferegeln;
  return s.str();
}

std::vector<std::string> SchreibRahmen(int n, const ProgramRecord& r) {
  std::vector<std::string> v = {
      "#1WFW" + std::to_string(r.stromkurve), "#1C1W" + Fest(r.strom1, 3), "#1C2W" + Fest(r.strom2, 3),
      "#1T1W" + Fest(r.zeit1, 0),            "#1T2W" + Fest(r.zeit2, 0),  "#1F1W" + Fest(r.frequenz, 0),
      "#1V1W" + Fest(r.spannung, 1),         "#1L1W" + Fest(r.zyklen, 0), "#1A1W" + Fest(r.regelgeschwindigkeit, 0),
      "#1M1W" + std::to_string(r.endstuferegeln)};
  if (n != 0) v.push_back("#1PNP" + std::to_string(n));
  return v;
}

std::vector<std::string> LeseRahmen(int n) {
  std::vector<std::string> v;
  if (n != 0) v.push_back("#1PNS" + std::to_string(n));
  for (const char* c : {"WFR", "C1R", "C2R", "T1R", "T2R", "F1R", "V1R", "L1R", "A1R", "M1R"}) {
    v.push_back(std::string("#1") + c);
  }
  return v;
}

}  // namespace lauf
