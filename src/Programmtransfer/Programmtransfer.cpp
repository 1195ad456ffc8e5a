// Frame sequences of program transfers, actual values and the status word.
#include "Programmtransfer/Programmtransfer.h"

#include <charconv>
#include <cstring>
#include <string_view>
#include <span>
#include <vector>

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

// The frames of one transfer are one operation of the driver: an answer waiting
// before a later one of them means the device answered out of step.
class Vorgang {
 public:
  explicit Vorgang(int port) : port_(port) { OLQZPK3X_VorgangBeginnen(port_); }
  ~Vorgang() { OLQZPK3X_VorgangBeenden(port_); }
  Vorgang(const Vorgang&) = delete;
  Vorgang& operator=(const Vorgang&) = delete;

 private:
  int port_;
};

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
      // A wait ended by the serial layer's abort check is a stop on request too.
      if (err == OLQZPK3X_ABGEBROCHEN) bericht->abgebrochen = true;
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
  const Vorgang vorgang(g.port);
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
  const Vorgang vorgang(g.port);
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
  const Vorgang vorgang(g.port);
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

namespace {

// The line allows putting the working parameters back unless it went silent or
// was lost: then nothing more can be asked of it now.
bool LeitungErlaubt(ErrorCode err) { return err != OLQZPK3X_LEITUNG_GETRENNT && err / 1000 != -403; }

// Puts the working parameters back (not stored). A stop request that ended the
// transfer is set aside meanwhile: these ten frames are what it asked for.
// The transfer's own last frame and answer stay what its error shows.
ErrorCode Zuruecksetzen(const Geraeteverbindung& g, Arbeitsstand* stand, ErrorCode transfer) {
  const OLQZPK3X_Transaktion t = OLQZPK3X_LetzteTransaktion(g.port);
  ErrorCode err = 0;
  {
    const AbbruchAusgesetzt ausgesetzt;
    err = ProgrammSchreiben(g, 0, &stand->werte);
  }
  stand->zurueck = err == 0;
  if (transfer != 0) OLQZPK3X_TransaktionZuruecklegen(g.port, t);
  return err;
}

}  // namespace

ErrorCode ProgrammeAnsehen(const Geraeteverbindung& g, int von, int bis, ProgramRecord* tabelle,
                           TransferFortschritt fortschritt, void* kontext, Transferbericht* bericht, Arbeitsstand* stand) {
  Arbeitsstand eigener;
  if (stand == nullptr) stand = &eigener;
  *stand = Arbeitsstand{};
  if (von == 0 && bis == 0) return ProgrammeLesen(g, 0, 0, tabelle, fortschritt, kontext, bericht);
  const Vorgang vorgang(g.port);
  if (ErrorCode err = ProgrammLesen(g, 0, &stand->werte, bericht); err != 0) return err;
  stand->gelesen = true;
  if (bericht != nullptr) bericht->programm = -1;
  const ErrorCode err = ProgrammeLesen(g, von, bis, tabelle, fortschritt, kontext, bericht);
  if (err != 0 && !LeitungErlaubt(err)) return err;
  const ErrorCode zurueck = Zuruecksetzen(g, stand, err);
  if (err != 0) return err;
  if (zurueck != 0) return zurueck;
  tabelle[0] = stand->werte;
  return 0;
}

bool GleichGespeichert(const ProgramRecord& a, const ProgramRecord& b, const Programmfeld& feld) {
  if (feld.ganz != nullptr) return a.*feld.ganz == b.*feld.ganz;
  // Compared as the driver sends them: the texts at the field's decimals.
  char ta[64], tb[64];
  const auto ra = std::to_chars(ta, ta + sizeof ta, a.*feld.reell, std::chars_format::fixed, feld.nachkommastellen);
  const auto rb = std::to_chars(tb, tb + sizeof tb, b.*feld.reell, std::chars_format::fixed, feld.nachkommastellen);
  return std::string_view(ta, static_cast<std::size_t>(ra.ptr - ta)) == std::string_view(tb, static_cast<std::size_t>(rb.ptr - tb));
}

ErrorCode ProgrammeSchreibenPruefen(const Geraeteverbindung& g, int von, int bis, const ProgramRecord* tabelle,
                                    bool pruefen, ProgramRecord* gelesen, Rueckleseabweichung* abweichung,
                                    TransferFortschritt fortschritt, void* kontext, Transferbericht* bericht,
                                    Arbeitsstand* stand, bool* rueckgelesenFehlgeschlagen) {
  *stand = Arbeitsstand{};
  *rueckgelesenFehlgeschlagen = false;
  *abweichung = Rueckleseabweichung{};
  const Vorgang vorgang(g.port);
  // Writing the working parameters themselves is what is asked: nothing to keep.
  const bool behalten = !(von == 0 && bis == 0);
  if (behalten) {
    if (ErrorCode err = ProgrammLesen(g, 0, &stand->werte, bericht); err != 0) return err;
    stand->gelesen = true;
    if (bericht != nullptr) bericht->programm = -1;
  }
  std::vector<ProgramRecord> kopie(tabelle, tabelle + 17);
  ErrorCode err = ProgrammeSchreiben(g, von, bis, kopie.data(), fortschritt, kontext, bericht);
  if (err == 0 && pruefen) {
    // The read-back's own report: the write's stays as it was, whole.
    Transferbericht lesen;
    if (bericht != nullptr) lesen.abbrechen = bericht->abbrechen;
    err = ProgrammeLesen(g, von, bis, gelesen, nullptr, nullptr, &lesen);
    if (err != 0) {
      // Where the read-back ended; how many were written whole stays.
      *rueckgelesenFehlgeschlagen = true;
      if (bericht != nullptr) {
        bericht->programm = lesen.programm;
        bericht->feld = lesen.feld;
        bericht->gesendet = lesen.gesendet;
        bericht->abgebrochen = lesen.abgebrochen;
      }
    }
    for (int slot = von; err == 0 && slot <= bis; ++slot) {
      for (int i = 0; i < PROGRAMMFELDER_ANZAHL && err == 0; ++i) {
        if (GleichGespeichert(tabelle[slot], gelesen[slot], PROGRAMMFELDER[i])) continue;
        *abweichung = Rueckleseabweichung{slot, i};
        err = PROGRAMM_ANDERS_GESPEICHERT;
      }
    }
  }
  if (!behalten || (err != 0 && !LeitungErlaubt(err))) return err;
  const ErrorCode zurueck = Zuruecksetzen(g, stand, err);
  return err != 0 ? err : zurueck;
}

ErrorCode ProgrammeSchreiben(const Geraeteverbindung& g, int von, int bis, ProgramRecord* tabelle,
                             TransferFortschritt fortschritt, void* kontext, Transferbericht* bericht) {
  const Vorgang vorgang(g.port);
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
  // Checked here, before the driver is asked: nothing is sent, and no frame of
  // an earlier operation is left to be shown with the error.
  if (n < 1 || n > 16) {
    OLQZPK3X_TransaktionVergessen(g.port);
    return -500034;
  }
  const ErrorCode err = OLQZPK3X_ParameterSchreiben(g.port, g.adresse, parameter, 0.0, n, 0);
  return err != 0 ? err : OLQZPK3X_ImTaktPruefen(g.port);
}

ErrorCode IstwerteLesen(const Geraeteverbindung& g, Istwerte* werte) {
  const Vorgang vorgang(g.port);
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
