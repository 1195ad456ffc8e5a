// Frame sequences of program transfers, actual values and the status word.
#include "Programmtransfer/Programmtransfer.h"

#include <cstring>
#include <span>

#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"

// Ranges as the driver checks them: each real range reaches just beyond its round
// limit, so a value that passes here is never refused by the driver.
const Programmfeld PROGRAMMFELDER[PROGRAMMFELDER_ANZAHL] = {
    {"stromkurve", &ProgramRecord::stromkurve, nullptr, 1, 12, 0},
    {"strom1", nullptr, &ProgramRecord::strom1, 0.0009, 4.0001, 3},
    {"strom2", nullptr, &ProgramRecord::strom2, 0.0009, 4.0001, 3},
    {"zeit1", nullptr, &ProgramRecord::zeit1, 0.9, 65534.1, 0},
    {"zeit2", nullptr, &ProgramRecord::zeit2, 0.9, 65534.1, 0},
    {"frequenz", nullptr, &ProgramRecord::frequenz, 24.9, 10000.1, 0},
    {"spannung", nullptr, &ProgramRecord::spannung, 8.99, 53.01, 1},
    {"zyklen", nullptr, &ProgramRecord::zyklen, 0.9, 65534.1, 0},
    {"regelgeschwindigkeit", nullptr, &ProgramRecord::regelgeschwindigkeit, 0.9, 500.1, 0},
    {"endstuferegeln", &ProgramRecord::endstuferegeln, nullptr, 0, 1, 0},
};

namespace {

// Integer parameters go as the integer with the real 0.0, real ones as the real
// with the integer 0.
ErrorCode IntSchreiben(const Geraeteverbindung& g, const char* parameter, int wert) {
  return OLQZPK3X_ParameterSchreiben(g.port, g.adresse, parameter, 0.0, wert, 0);
}

ErrorCode RealSchreiben(const Geraeteverbindung& g, const char* parameter, double wert) {
  return OLQZPK3X_ParameterSchreiben(g.port, g.adresse, parameter, wert, 0, 0);
}

ErrorCode IntLesen(const Geraeteverbindung& g, const char* parameter, int* wert) {
  return OLQZPK3X_ParameterLesen(g.port, g.adresse, parameter, nullptr, wert, nullptr);
}

ErrorCode RealLesen(const Geraeteverbindung& g, const char* parameter, double* wert) {
  return OLQZPK3X_ParameterLesen(g.port, g.adresse, parameter, wert, nullptr, nullptr);
}

}  // namespace

double FeldWert(const ProgramRecord& rec, const Programmfeld& feld) {
  return feld.ganz != nullptr ? static_cast<double>(rec.*feld.ganz) : rec.*feld.reell;
}

bool FeldImBereich(const ProgramRecord& rec, const Programmfeld& feld) {
  const double wert = FeldWert(rec, feld);
  return wert >= feld.minimum && wert <= feld.maximum;  // false for NaN
}

namespace {

// One frame of a program transfer: notes which field it was and whether it was
// answered, and after the answer whether the caller asked to stop.
struct Schritt {
  Transferbericht* bericht;
  int programm;

  ErrorCode operator()(const char* feld, ErrorCode err) const {
    if (bericht == nullptr) return err;
    bericht->programm = programm;
    if (err != 0) {
      bericht->feld = feld;
      return err;
    }
    ++bericht->gesendet;
    if (bericht->abbrechen != nullptr && bericht->abbrechen()) {
      bericht->abgebrochen = true;
      return TRANSFER_ABGEBROCHEN;
    }
    return 0;
  }
};

Schritt Beginnen(Transferbericht* bericht, int programm) {
  if (bericht != nullptr) {
    bericht->programm = programm;
    bericht->feld = nullptr;
    bericht->gesendet = 0;
  }
  return {bericht, programm};
}

void Fertig(Transferbericht* bericht) {
  if (bericht == nullptr) return;
  ++bericht->fertig;
  bericht->programm = -1;
  bericht->gesendet = 0;
}

// A stop after the last frame of program `i` (the store's answer, or the last
// field of slot 0, which is neither loaded nor stored) still has it whole.
bool GanzTrotzAbbruch(ErrorCode err, const Transferbericht* bericht, int i) {
  return err == TRANSFER_ABGEBROCHEN && bericht->gesendet >= PROGRAMMFELDER_ANZAHL + (i != 0 ? 1 : 0);
}

}  // namespace

ErrorCode ProgrammLesen(const Geraeteverbindung& g, int n, ProgramRecord* rec, Transferbericht* bericht) {
  const Schritt schritt = Beginnen(bericht, n);
  ErrorCode err = 0;
  if (n != 0 && (err = schritt(nullptr, IntSchreiben(g, "programmladen", n))) != 0) return err;
  for (const Programmfeld& f : PROGRAMMFELDER) {
    if (f.ganz != nullptr) {
      int ganz = 0;
      if ((err = schritt(f.name, IntLesen(g, f.name, &ganz))) != 0) return err;
      rec->*f.ganz = ganz;
    } else if ((err = schritt(f.name, RealLesen(g, f.name, &(rec->*f.reell)))) != 0) {
      return err;
    }
  }
  return 0;
}

ErrorCode ProgrammSchreiben(const Geraeteverbindung& g, int n, const ProgramRecord* rec, Transferbericht* bericht) {
  const Schritt schritt = Beginnen(bericht, n);
  ErrorCode err = 0;
  for (const Programmfeld& f : PROGRAMMFELDER) {
    err = f.ganz != nullptr ? IntSchreiben(g, f.name, rec->*f.ganz) : RealSchreiben(g, f.name, rec->*f.reell);
    if ((err = schritt(f.name, err)) != 0) return err;
  }
  if (n != 0 && (err = IntSchreiben(g, "programmspeichern", n)) != 0) return schritt(nullptr, err);
  // The store's answer must be its own, not a late one of an earlier frame.
  if ((err = OLQZPK3X_ImTaktPruefen(g.port)) != 0) return schritt(nullptr, err);
  return n != 0 ? schritt(nullptr, 0) : 0;
}

ErrorCode ProgrammeLesen(const Geraeteverbindung& g, int von, int bis, ProgramRecord* tabelle,
                         TransferFortschritt fortschritt, void* kontext, Transferbericht* bericht) {
  const int anzahl = bis - von + 1;
  ProgramRecord rec{};
  for (int i = von; i <= bis; ++i) {
    // A local record, so a failing read never leaves a half-read slot behind.
    if (ErrorCode err = ProgrammLesen(g, i, &rec, bericht); err != 0) {
      if (!GanzTrotzAbbruch(err, bericht, i)) return err;
      tabelle[i] = rec;
      Fertig(bericht);
      if (i != bis) return err;
      break;
    }
    tabelle[i] = rec;
    Fertig(bericht);
    if (fortschritt != nullptr) fortschritt(i - von + 1, anzahl, kontext);
  }
  tabelle[0] = rec;
  return 0;
}

ErrorCode ProgrammeAnsehen(const Geraeteverbindung& g, int von, int bis, ProgramRecord* tabelle,
                           TransferFortschritt fortschritt, void* kontext, Transferbericht* bericht) {
  if (von == 0 && bis == 0) return ProgrammeLesen(g, 0, 0, tabelle, fortschritt, kontext, bericht);
  ProgramRecord arbeit{};
  if (ErrorCode err = ProgrammLesen(g, 0, &arbeit, bericht); err != 0) return err;
  if (bericht != nullptr) bericht->programm = -1;
  if (ErrorCode err = ProgrammeLesen(g, von, bis, tabelle, fortschritt, kontext, bericht); err != 0) return err;
  if (ErrorCode err = ProgrammSchreiben(g, 0, &arbeit); err != 0) return err;
  tabelle[0] = arbeit;
  return 0;
}

ErrorCode ProgrammeSchreiben(const Geraeteverbindung& g, int von, int bis, ProgramRecord* tabelle,
                             TransferFortschritt fortschritt, void* kontext, Transferbericht* bericht) {
  const int anzahl = bis - von + 1;
  for (int i = von; i <= bis; ++i) {
    if (ErrorCode err = ProgrammSchreiben(g, i, &tabelle[i], bericht); err != 0) {
      if (!GanzTrotzAbbruch(err, bericht, i)) return err;
      Fertig(bericht);
      if (i != bis) return err;
      break;
    }
    Fertig(bericht);
    if (fortschritt != nullptr) fortschritt(i - von + 1, anzahl, kontext);
  }
  tabelle[0] = tabelle[bis];
  return 0;
}

ErrorCode GeraetefunktionSenden(const Geraeteverbindung& g, const char* funktion) {
  const ErrorCode err = OLQZPK3X_DeviceFunction(g.port, g.adresse, funktion);
  return err != 0 ? err : OLQZPK3X_ImTaktPruefen(g.port);
}

ErrorCode ProgrammnummerSenden(const Geraeteverbindung& g, const char* parameter, int n) {
  const ErrorCode err = OLQZPK3X_ParameterSchreiben(g.port, g.adresse, parameter, 0.0, n, 0);
  return err != 0 ? err : OLQZPK3X_ImTaktPruefen(g.port);
}

ErrorCode IstwerteLesen(const Geraeteverbindung& g, Istwerte* werte) {
  werte->gelesen = 0;
  ErrorCode err = RealLesen(g, "iststrom", &werte->strom);
  if (err != 0) return err;
  werte->gelesen = 1;
  if ((err = RealLesen(g, "istspannung", &werte->spannung)) != 0) return err;
  werte->gelesen = 2;
  if ((err = StatuswortLesen(g, &werte->status)) != 0) return err;
  werte->gelesen = 3;
  return 0;
}

ErrorCode StatuswortLesen(const Geraeteverbindung& g, int* status) { return IntLesen(g, "status", status); }

ErrorCode GeraetSuchen(int port, SucheOeffnen oeffnen, SucheProbe probe, void* kontext, Suchergebnis* ergebnis) {
  static constexpr char kKennung[] = "OLQ-ZPK3X";
  *ergebnis = Suchergebnis{};
  // A port whose rate is not the program's to set (raw TCP: the device server's)
  // is asked at that one rate; the four would only ask the same line four times.
  const int festeRate[] = {static_cast<int>(GetComBaudRate(port))};
  const std::span<const int> raten = ComFixedRate(port) != 0 ? std::span<const int>(festeRate) : SUCHE_BAUDRATEN;
  for (const int baudrate : raten) {
    if (ErrorCode err = oeffnen(baudrate, kontext); err != 0) return err;
    for (char adresse = '1'; adresse <= '8'; ++adresse) {
      if (probe != nullptr) probe(Suchschritt::Vorher, baudrate, adresse, nullptr, false, kontext);
      // The driver fills at most 32 bytes; the text must end inside them.
      char kennung[32] = {};
      if (OLQZPK3X_IDLesen(port, adresse, kennung) != 0) {
        if (probe != nullptr) probe(Suchschritt::KeineAntwort, baudrate, adresse, nullptr, false, kontext);
        continue;
      }
      kennung[sizeof kennung - 1] = '\0';
      const bool zpk3x = std::strncmp(kennung, kKennung, sizeof kKennung - 1) == 0;
      if (zpk3x) {
        ergebnis->gefunden = true;
        ergebnis->baudrate = baudrate;
        ergebnis->adresse = adresse;
        std::memcpy(ergebnis->kennung, kennung, sizeof kennung);
      }
      if (probe != nullptr) probe(Suchschritt::Antwort, baudrate, adresse, kennung, zpk3x, kontext);
    }
    if (ergebnis->gefunden || ComFixedRate(port) != 0) break;
  }
  return 0;
}
