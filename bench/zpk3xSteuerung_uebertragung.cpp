// Reading and writing all programs through the operator window against the
// simulator that talks at the speed of the line. Reports wall time against the
// time the characters need on the line, and processor time against wall time.
#include <time.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "Com/Com.h"
#include "sim_harness.h"
#include "support_ui/ui_fixture.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

double Prozessorzeit() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Wanduhr() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Locale-independent fixed-point text (the toolkit follows the environment's locale).
std::string Fest(double wert, int stellen) {
  char puffer[64];
  auto r = std::to_chars(puffer, puffer + sizeof puffer, wert, std::chars_format::fixed, stellen);
  return std::string(puffer, r.ptr);
}

// Value texts of every program as the device sends them, from the simulator's dump.
std::vector<std::vector<std::string>> Werttexte(simtest::Simulator& sim) {
  std::vector<std::vector<std::string>> t(PROGRAMM_SLOTS);
  for (const std::string& zeile : sim.control("dump")) {
    std::istringstream s(zeile);
    std::string wort;
    int n = -1;
    if (!(s >> wort) || wort != "program" || !(s >> n) || n < 0 || n >= PROGRAMM_SLOTS) continue;
    std::string f;
    while (s >> f) t[n].push_back(f);
  }
  return t;
}

// Characters on the line for the frames the simulator saw, each with its CR,
// plus one answer byte each, plus the answer texts of the reads.
long Zeichen(const std::vector<std::string>& rahmen, const std::vector<std::vector<std::string>>& werte) {
  long z = 0;
  int programm = 0;
  int feld = 0;
  for (const std::string& r : rahmen) {
    z += static_cast<long>(r.size()) + 1 + 1;
    const std::string befehl = r.substr(2, 3);
    if (befehl == "PNS") {
      programm = std::stoi(r.substr(5));
      feld = 0;
    } else if (befehl.size() == 3 && befehl[2] == 'R') {
      // "#", address, command, value, CR
      const std::vector<std::string>& w = werte[programm];
      z += 5 + (feld < static_cast<int>(w.size()) ? static_cast<long>(w[feld].size()) : 0) + 1;
      ++feld;
    }
  }
  return z;
}

void Messen(int baud) {
  simtest::SimOptions o;
  o.baud = baud;
  o.pace = true;
  simtest::Simulator sim(o);
  if (!sim.ok()) {
    std::printf("simulator did not start\n");
    return;
  }
  sim.mapToCom(1);
  gCom.port = 1;
  gCom.baudrate = baud;
  if (ComPortOeffnen() != 0) {
    std::printf("port did not open\n");
    return;
  }
  for (int n = 0; n <= 16; ++n) {
    sim.control("program " + std::to_string(n) + " " + std::to_string(n % 12 + 1) + " " +
                Fest(0.101 + 0.013 * n, 3) + " " + Fest(3.917 - 0.011 * n, 3) + " " +
                std::to_string(100 + 7 * n) + " " + std::to_string(65000 - 3 * n) + " " +
                std::to_string(25 + 97 * n) + " " + Fest(9.5 + 2.5 * n, 1) + " " + std::to_string(2 + n) +
                " " + std::to_string(480 - 9 * n) + " " + std::to_string((n + 1) % 2));
  }
  const auto werte = Werttexte(sim);

  for (int knopf : {MAINPANEL_ZPK3LESEN, MAINPANEL_ZPK3SCHREIBEN}) {
    sim.clearFrames();
    TestQueueGenericAnswer(2);
    const double w0 = Wanduhr(), p0 = Prozessorzeit();
    const int klick = TestOperatorClick(gPanelHandle, knopf);
    const double wand = Wanduhr() - w0, cpu = Prozessorzeit() - p0;
    int fehler = 0;
    GetCtrlVal(gPanelHandle, MAINPANEL_FEHLERNUMMER, &fehler);
    const std::vector<std::string> rahmen = sim.frames();
    const long zeichen = Zeichen(rahmen, werte);
    const double leitung = static_cast<double>(zeichen) * 10.0 / baud;
    const auto urteil = [](bool erreicht) { return erreicht ? "met" : "MISSED"; };
    std::printf("%-6s all programs at %4d baud: %zu frames, %ld characters, line %.3f s, wall %.3f s, "
                "wall/line %.4f (aim <= 1.03: %s), cpu %.3f s, cpu/wall %.4f (aim <= 0.02: %s)%s\n",
                knopf == MAINPANEL_ZPK3LESEN ? "read" : "write", baud, rahmen.size(), zeichen, leitung, wand,
                wand / leitung, urteil(wand / leitung <= 1.03), cpu, cpu / wand, urteil(cpu / wand <= 0.02),
                fehler != 0 || klick != 0 ? "  (FAILED)" : "");
    std::fflush(stdout);
  }
  ComFehlerSetzen(0);
  gCom.port = -1;
  ComPortOeffnen();
}

}  // namespace

int main() {
  if (!uitest::ToolkitStarten()) {
    std::printf("no window platform (set QT_QPA_PLATFORM=offscreen)\n");
    return 1;
  }
  SteuerungCallbacksRegistrieren();
  if (!uitest::FensterLaden(1)) {
    std::printf("windows not loaded\n");
    return 1;
  }
  uitest::StartzustandHerstellen();
  DisplayPanel(gPanelHandle);  // the operator can only press what is shown
  TestPopupAutomation(true);
  for (int baud : {9600, 1200}) Messen(baud);
  uitest::FensterVerwerfen();
  return 0;
}
