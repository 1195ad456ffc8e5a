#pragma once
// Runs the whole program in a test: a working directory of its own, the real
// start-up, a test body inside the running event loop, the real end.
#include <functional>
#include <string>
#include <vector>

#include "zpk3xFunktionen/zpk3xFunktionen.h"

#include "support_ui/ui_lesen.h"
#include "testdateien.h"

namespace lauf {

using testdateien::Arbeitsverzeichnis;
using testdateien::DateiLesen;
using testdateien::DateiSchreiben;

// The configuration of the next start: port and language.
void KonfigurationSchreiben(int port, int sprache, int baudrate = 9600);

// Runs Zpk3xMain with popups automated; `koerper` runs once inside the loop, then
// the loop is ended (unless the body ended it). Returns Zpk3xMain's result.
int ProgrammLaufen(const std::function<void()>& koerper);

// Control values of the operator window.
using uitest::Ganzzahl;
using uitest::Text;
using uitest::Zahl;

// Ten fields as the device would send them (value texts), and the record they give.
struct Programmtexte {
  std::string felder[10];
};
Programmtexte UnterscheidbaresProgramm(int n);
ProgramRecord AlsRecord(const Programmtexte& t);
std::string SimulatorBefehl(int n, const Programmtexte& t);  // "program n ..."
// Parses one "program <n> ..." line of the simulator's dump; false if it is none.
bool DumpZeile(const std::string& zeile, int* n, ProgramRecord* rec);
bool Gleich(const ProgramRecord& a, const ProgramRecord& b);
std::string Beschreibung(const ProgramRecord& r);

// The frames (without CR) that writing `rec` as program n sends; n 0: no store command.
std::vector<std::string> SchreibRahmen(int n, const ProgramRecord& rec);
// The frames that reading program n sends; n 0: no load command.
std::vector<std::string> LeseRahmen(int n);

}  // namespace lauf
