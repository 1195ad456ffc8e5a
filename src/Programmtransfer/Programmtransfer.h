#pragma once
// Every frame sequence that moves programs, actual values and the status word
// between the program table and the device, without any window. The operator
// window and the command line both call it, so they send the same frames.
#include <cstdint>

#include "common/ErrorCode.h"
#include "common/ProgramRecord.h"
#include "common/Statusbits.h"
#include "rs232/rs232.h"

// The line to one device: an open port of the driver and the device address.
struct Geraeteverbindung {
  int port;
  char adresse;
};

// Told after each program of a range: `fertig` programs done of `anzahl`.
using TransferFortschritt = void (*)(int fertig, int anzahl, void* kontext);

// One field of a program as the device transfers it, in transfer order.
struct Programmfeld {
  const char* name;                    // device keyword and field name in files
  std::int32_t ProgramRecord::*ganz;   // integer fields; null for real ones
  double ProgramRecord::*reell;        // real fields; null for integer ones
  double minimum;                      // range the driver accepts, both ends included
  double maximum;
  int nachkommastellen;                // decimals the value is sent with
};
constexpr int PROGRAMMFELDER_ANZAHL = 10;
extern const Programmfeld PROGRAMMFELDER[PROGRAMMFELDER_ANZAHL];

// How far a transfer of programs got, for messages that say where it ended. The
// caller may set `abbrechen`: it is asked after every answer, and true ends the
// transfer there, with the frame in flight finished and nothing more sent.
struct Transferbericht {
  bool (*abbrechen)() = nullptr;
  int fertig = 0;              // programs read, or written and stored, whole
  int programm = -1;           // slot at which it ended early; -1: it did not
  const char* feld = nullptr;  // field (name in files) whose frame failed; null: none
  int gesendet = 0;            // frames of that slot that were answered
  bool abgebrochen = false;    // ended on request, not by a failure
};
// Code of a transfer that `abbrechen` ended (class "Aborted by user").
constexpr ErrorCode TRANSFER_ABGEBROCHEN = -4126;

// The field's value of `rec` as a double (integers converted exactly).
double FeldWert(const ProgramRecord& rec, const Programmfeld& feld);
// True when the field's value of `rec` lies in the range the driver accepts
// (a real that is not a number never does).
bool FeldImBereich(const ProgramRecord& rec, const Programmfeld& feld);

// Program n (0: the working parameters, read without "programmladen") from the
// device into *rec. The fields read before a failure stay filled.
ErrorCode ProgrammLesen(const Geraeteverbindung& g, int n, ProgramRecord* rec, Transferbericht* bericht = nullptr);
// *rec into the device's working parameters, then stored as program n (0: not
// stored). All ten parameters are sent, whatever the curve.
ErrorCode ProgrammSchreiben(const Geraeteverbindung& g, int n, const ProgramRecord* rec,
                            Transferbericht* bericht = nullptr);

// Slots von..bis (0..16, von <= bis) from the device into tabelle[von..bis], each
// as soon as it is read; on success the last one read is copied into slot 0 too,
// since the device's working parameters now hold it. A failure at slot k leaves
// the slots before k new, slot k, the later ones and slot 0 as they were.
ErrorCode ProgrammeLesen(const Geraeteverbindung& g, int von, int bis, ProgramRecord* tabelle,
                         TransferFortschritt fortschritt, void* kontext, Transferbericht* bericht = nullptr);
// While it lives, the serial layer's abort check (SetComAbortCheck) is set
// aside on this thread: for what a stop request itself asks to be done, the
// device stopped or its working parameters put back. Other threads keep it.
class AbbruchAusgesetzt {
 public:
  AbbruchAusgesetzt() { ComAbortCheckAside(true); }
  ~AbbruchAusgesetzt() { ComAbortCheckAside(false); }
  AbbruchAusgesetzt(const AbbruchAusgesetzt&) = delete;
  AbbruchAusgesetzt& operator=(const AbbruchAusgesetzt&) = delete;
};

// What became of the device's working parameters in a transfer that keeps them:
// read before it (`gelesen`, with their values), and put back after it
// (`zurueck`), also after a failure or a stop where the line allows it (not
// after a line that went silent or was lost: the caller then says so).
struct Arbeitsstand {
  bool gelesen = false;
  ProgramRecord werte{};
  bool zurueck = false;
};

// As ProgrammeLesen, for a caller that only looks: the device's working
// parameters are read first and written back at the end (not stored), so they
// are as they were found; tabelle[0] then holds them. Reading slot 0 alone
// changes nothing anyway. After a failure or a stop they are put back too where
// the line allows (with the abort check of the serial layer set aside for it);
// *stand (may be null) says what became of them.
ErrorCode ProgrammeAnsehen(const Geraeteverbindung& g, int von, int bis, ProgramRecord* tabelle,
                           TransferFortschritt fortschritt, void* kontext, Transferbericht* bericht = nullptr,
                           Arbeitsstand* stand = nullptr);

// The read-back of a write that differs from what was written: slot and field
// (index into PROGRAMMFELDER); code PROGRAMM_ANDERS_GESPEICHERT.
struct Rueckleseabweichung {
  int slot = -1;
  int feld = -1;
};
constexpr ErrorCode PROGRAMM_ANDERS_GESPEICHERT = -404341;
// True when the device stores `a` and `b` alike: equal at the decimals each
// field is sent with.
bool GleichGespeichert(const ProgramRecord& a, const ProgramRecord& b, const Programmfeld& feld);

// Writes slots von..bis of tabelle keeping the working parameters (read first,
// put back at the end as ProgrammeAnsehen does; slot 0 alone is written as
// asked) and, with `pruefen`, reads the
// slots back into gelesen[von..bis] and compares them: the first difference
// gives PROGRAMM_ANDERS_GESPEICHERT and *abweichung. The frames up to the last
// program's store are those of ProgrammeSchreiben; `bericht` tells the write
// (a failure of the read-back sets *rueckgelesenFehlgeschlagen, and bericht
// then says where the read-back ended, with `fertig` still the programs written
// whole). tabelle is not changed.
ErrorCode ProgrammeSchreibenPruefen(const Geraeteverbindung& g, int von, int bis, const ProgramRecord* tabelle,
                                    bool pruefen, ProgramRecord* gelesen, Rueckleseabweichung* abweichung,
                                    TransferFortschritt fortschritt, void* kontext, Transferbericht* bericht,
                                    Arbeitsstand* stand, bool* rueckgelesenFehlgeschlagen);
// Slots von..bis of tabelle to the device; on success the last one written is
// copied into slot 0. A failure leaves the table unchanged. Each program ends
// with the check that the device's answers were in step (OLQZPK3X_ImTaktPruefen).
ErrorCode ProgrammeSchreiben(const Geraeteverbindung& g, int von, int bis, ProgramRecord* tabelle,
                             TransferFortschritt fortschritt, void* kontext, Transferbericht* bericht = nullptr);

// One device function ("start", "stopp", "fehlerloeschen", "kalibrieren") or
// program number ("programmladen", "programmspeichern"), followed by the check
// that the answers were in step: what both front ends send for these buttons.
ErrorCode GeraetefunktionSenden(const Geraeteverbindung& g, const char* funktion);
// n outside 1 to 16 is refused before anything is sent (-500034).
ErrorCode ProgrammnummerSenden(const Geraeteverbindung& g, const char* parameter, int n);

// Actual values in the order they are queried; `gelesen` counts those that
// arrived (0..3), so a caller can show what came before a failure.
struct Istwerte {
  double strom;
  double spannung;
  int status;
  int gelesen;
};
ErrorCode IstwerteLesen(const Geraeteverbindung& g, Istwerte* werte);
ErrorCode StatuswortLesen(const Geraeteverbindung& g, int* status);

// The device search: addresses "1" to "8" at 1200, 2400, 4800 and 9600 baud,
// stopping after the first rate at which a ZPK-3X answered. A port with a fixed
// rate (ComFixedRate) is asked only at its rate: the one it is open at, else
// the first it is opened at. `oeffnen` brings the
// port to a rate (a failure ends the search with its code); `probe` is told of
// each address before it is asked (Vorher, kennung null) and after: KeineAntwort
// (kennung null) or Antwort (kennung set, zpk3x when it names a ZPK-3X). A later
// hit at the same rate replaces an earlier one.
struct Suchergebnis {
  bool gefunden;
  int baudrate;
  char adresse;
  char kennung[32];
};
enum class Suchschritt { Vorher, KeineAntwort, Antwort };
using SucheOeffnen = ErrorCode (*)(int baudrate, void* kontext);
using SucheProbe = void (*)(Suchschritt schritt, int baudrate, char adresse, const char* kennung, bool zpk3x,
                            void* kontext);
constexpr int SUCHE_BAUDRATEN[] = {1200, 2400, 4800, 9600};
ErrorCode GeraetSuchen(int port, SucheOeffnen oeffnen, SucheProbe probe, void* kontext, Suchergebnis* ergebnis);
