#pragma once
// Test plans: a sequence of device steps with limits, read from TOML, run on one
// device and judged, with the record of the run. Below every front end (command
// line, Python, window), so that all of them judge alike. No window code here.
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "Programmtransfer/Programmtransfer.h"
#include "common/ErrorCode.h"
#include "common/ProgramRecord.h"

// Codes of plans and runs (catalogue classes: format, wrong parameter, data not
// correct, out of limits, missing values, out of tolerance, aborted).
constexpr ErrorCode PLAN_SYNTAX = -312371;     // not TOML
constexpr ErrorCode PLAN_UNBEKANNT = -504372;  // a key or a word the plan may not hold
constexpr ErrorCode PLAN_WERT = -505373;       // a value of the wrong kind, or its unit missing or wrong
constexpr ErrorCode PLAN_BEREICH = -500374;    // a value outside what the device or the line allows
constexpr ErrorCode PLAN_FEHLT = -503375;      // a key the plan must hold
constexpr ErrorCode PRUEF_GRENZE = -509376;    // a measurement outside its limit
constexpr ErrorCode PRUEF_ABGEBROCHEN = -4377; // Ctrl+C, SIGTERM, a closed window

// Where a plan is wrong: line and column from 1 (0: no place applies).
struct Planfehler {
  ErrorCode code = 0;
  int zeile = 0;
  int spalte = 0;
  std::string text;
};

enum class Groesse { Strom, Spannung };
// What a limit is checked on: every sample, or one figure of the samples.
enum class Bewertung { Probe, Mittel, Minimum, Maximum };

struct Grenze {
  Groesse groesse = Groesse::Strom;
  Bewertung auf = Bewertung::Probe;
  double unten = -std::numeric_limits<double>::infinity();
  double oben = std::numeric_limits<double>::infinity();
  std::string text;  // as the plan writes it: "1.9 A .. 2.1 A", "2.0 A ± 5 %"
};

enum class Schrittart { Schreiben, Laden, Start, Stopp, FehlerLoeschen, Warten, Messen };

struct Schritt {
  Schrittart art = Schrittart::Start;
  std::string name;
  int zeile = 0;
  bool weiterBeiFehler = false;  // on_fail = "continue"
  // Schreiben: the program and where it is stored (0: working parameters only);
  // Laden: the program loaded.
  int programm = 0;
  ProgramRecord satz = PROGRAMM_STANDARDSATZ;
  std::string quelle;  // "plan", or the program file it came from
  // Warten: dauer; Messen: all three, in seconds.
  double dauer = 0;
  double intervall = 0;
  double einschwingen = 0;
  int intervallZeile = 0, intervallSpalte = 0;  // for the line's limit, known only at the run
  std::vector<Grenze> grenzen;
  int statusGesetzt = 0;  // bits that must be set
  int statusFrei = 0;     // bits that must be clear
  bool statusAmEnde = false;  // on the last sample only, not on every one
};

struct Pruefplan {
  std::string name;
  std::string beschreibung;
  std::string datei;   // the plan file; empty for a plan from a text
  std::string sha256;  // of the plan's bytes
  std::vector<Schritt> schritte;
};

// Reads a plan from its text. `ordner` is where program files named in the plan
// are looked for (relative names). Nothing is sent anywhere: every value is checked
// against the device's ranges here. On failure *plan is unchanged.
ErrorCode PlanLesen(const std::string& text, const std::string& ordner, Pruefplan* plan, Planfehler* fehler);
// The same from a file (at most 1 MiB); file errors come with their errno in the text.
ErrorCode PlanDateiLesen(const std::string& pfad, Pruefplan* plan, Planfehler* fehler);
// "\nFILE, line L, column C: text" for a message's detail.
std::string PlanfehlerDetail(const std::string& datei, const Planfehler& f, bool englisch);

// The shortest sampling interval the line carries at `baudrate`: three reads per
// sample (current, voltage, status), each a 6-character frame and an answer of up
// to 12 characters, 10 bits a character.
double KleinsterAbstand(int baudrate);
// Every measurement's interval against that limit; before anything is sent.
ErrorCode PlanFuerLeitungPruefen(const Pruefplan& plan, int baudrate, Planfehler* fehler, bool englisch);

// A number with fixed decimals and a decimal point in every locale (the window
// runs with the user's LC_NUMERIC).
std::string FestText(double wert, int stellen);

// A serial number typed or scanned: one line of printable text, 1 to 128 bytes.
bool GueltigeSeriennummer(const std::string& s);

// ---- running ----
enum class Ausgang { Pass, Fail, Error, Aborted, Skipped };
const char* AusgangText(Ausgang a);  // "PASS", "FAIL", "ERROR", "ABORTED", "SKIPPED"
// Worse of two: PASS < FAIL < ERROR < ABORTED; a skipped step counts for nothing.
Ausgang Schlechter(Ausgang a, Ausgang b);

struct Probe {
  double t = 0;  // seconds since the run began
  std::int64_t zeitMs = 0;
  double strom = 0, spannung = 0;
  int status = 0;
};

struct Kennzahlen {
  double min = 0, mittel = 0, max = 0;
};

struct Grenzergebnis {
  bool geprueft = false;  // false: not judged (no samples, ended early)
  bool bestanden = false;
  double wert = 0;        // the figure judged, or the first sample outside
  int ausserhalb = 0;     // samples outside (per-sample limits)
};

struct Schrittergebnis {
  Ausgang ausgang = Ausgang::Skipped;
  std::string grund;  // why it did not pass, in the run's language
  ErrorCode code = 0;
  std::int64_t startMs = 0, endeMs = 0;
  std::vector<Probe> proben;
  Kennzahlen strom, spannung;
  std::vector<Grenzergebnis> grenzen;  // one per limit of the step
  bool statusGeprueft = false, statusBestanden = false;
  int ausgelassen = 0;  // sampling ticks missed because a sample took longer
};

// Where and on what the run happened, and who ran it.
struct Laufangaben {
  std::string seriennummer, bediener, station;
  std::string port;
  int baudrate = 0;
  char adresse = '1';
  bool englisch = true;
  std::string programm = "zpk3x";  // the front end and its version, for the record
  // Asked between samples and in waits; true ends the run as ABORTED.
  std::function<bool()> abbrechen;
  std::function<void(int schritt, const Probe& p)> beiProbe;
  std::function<void(int schritt, const Schritt& s)> beiSchritt;  // before a step begins
};

struct Protokoll {
  Pruefplan plan;
  Laufangaben angaben;  // without the callbacks' meaning once the run is over
  std::string kennung;
  std::int64_t startMs = 0, endeMs = 0;
  Ausgang ausgang = Ausgang::Pass;
  std::string grund;  // of the run when it did not pass: the first step's reason
  std::vector<Schrittergebnis> schritte;  // one per step of the plan
  bool stoppVersucht = false;  // ended early: a stop was sent to bring the device to rest
  ErrorCode stoppCode = 0;
};

// What a run needs of the device; the command line and the window use the line
// through Programmtransfer (Leitungsgeraet), Python its own device object. A
// failure is a catalogue code; Detail() may add what came back.
class Pruefgeraet {
 public:
  virtual ~Pruefgeraet() = default;
  virtual ErrorCode Kennung(std::string* kennung) = 0;
  // `rec` into the working parameters, and stored as program n when n is 1..16.
  virtual ErrorCode Schreiben(int n, const ProgramRecord& rec) = 0;
  virtual ErrorCode Lesen(int n, ProgramRecord* rec) = 0;
  virtual ErrorCode Laden(int n) = 0;
  virtual ErrorCode Funktion(const char* funktion) = 0;  // "start", "stopp", "fehlerloeschen"
  virtual ErrorCode IstwerteLesen(Istwerte* w) = 0;
  // The message of the last failure, in the run's language.
  virtual std::string Meldung(ErrorCode code) = 0;
};

class Leitungsgeraet final : public Pruefgeraet {
 public:
  explicit Leitungsgeraet(Geraeteverbindung g, bool (*abbrechen)() = nullptr) : g_(g), abbrechen_(abbrechen) {}
  ErrorCode Kennung(std::string* kennung) override;
  ErrorCode Schreiben(int n, const ProgramRecord& rec) override;
  ErrorCode Lesen(int n, ProgramRecord* rec) override;
  ErrorCode Laden(int n) override;
  ErrorCode Funktion(const char* funktion) override;
  ErrorCode IstwerteLesen(Istwerte* w) override;
  std::string Meldung(ErrorCode code) override;

 private:
  Geraeteverbindung g_;
  bool (*abbrechen_)();
};

// Runs the plan step by step. A failed step ends the run unless it says go on;
// a device or line failure and an abort always end it; whenever the run ends
// early, "stopp" is sent so the device is left at rest.
Protokoll PlanAusfuehren(const Pruefplan& plan, Pruefgeraet& geraet, const Laufangaben& angaben);
