// Operator actions that talk to the device: program transfer, load/save inside
// the device, start/stop/clear/calibrate, actual values, status lamps.
#include <cstring>

#include "Com/Com.h"
#include "Verlauf/Verlauf.h"
#include "olqzpk3x/olqzpk3x.h"
#include "progress/progress.h"
#include "toolkit/toolkit.h"
#include "toolkit/zpk3xSteuerung_ids.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

constexpr ErrorCode kKeinPort = -122201;
constexpr ErrorCode kKeinPortStatus = -122205;

bool KeinPortOffen() { return gCom.offenerPort == -1; }

bool Englisch() { return gSprache == 2; }

// One LED per shown status bit with its explanation line, in the order of the
// status table (rising bit).
struct StatusLampe {
  int bit;
  int led;
  const char* deutsch;
  const char* englisch;
};

constexpr StatusLampe kLampen[] = {
    {0x1, MAINPANEL_STATUS0, "Innentemperatur zu hoch\n", "Inside temperature too high\n"},
    {0x2, MAINPANEL_STATUS1, "Parameter zerstört\n", "Parameters destroyed\n"},
    {0x8, MAINPANEL_STATUS3, "Kalibrierung ungültig\n", "Invalid calibration\n"},
    {0x10, MAINPANEL_STATUS4, "Prüfspannung außerhalb der Toleranz\n", "Voltage out of tolerance\n"},
    {0x100, MAINPANEL_STATUS8, "Prozess wurde gestartet\n", "Process has been started\n"},
    {0x200, MAINPANEL_STATUS9, "Programm aktiv\n", "Programm aktiv\n"},
    {0x800, MAINPANEL_STATUS11, "Prozess wurde abgeschlossen\n", "Process has ended\n"},
    {0x2000, MAINPANEL_STATUS13, "Prozess wurde abgebrochen\n", "Process has been canceld\n"},
};
// The window sets the process lamps first, then the fault lamps.
constexpr int kSetzReihenfolge[] = {4, 5, 6, 7, 0, 1, 2, 3};

ErrorCode IntSchreiben(const char* parameter, int wert) {
  return OLQZPK3X_ParameterSchreiben(gCom.offenerPort, gCom.adresse, parameter, 0.0, wert, 0);
}

ErrorCode RealSchreiben(const char* parameter, double wert) {
  return OLQZPK3X_ParameterSchreiben(gCom.offenerPort, gCom.adresse, parameter, wert, 0, 0);
}

ErrorCode IntLesen(const char* parameter, int* wert) {
  return OLQZPK3X_ParameterLesen(gCom.offenerPort, gCom.adresse, parameter, nullptr, wert, nullptr);
}

ErrorCode RealLesen(const char* parameter, double* wert) {
  return OLQZPK3X_ParameterLesen(gCom.offenerPort, gCom.adresse, parameter, wert, nullptr, nullptr);
}

// The eight real fields in the order the device transfers them.
struct RealFeld {
  const char* name;
  double ProgramRecord::*feld;
};
constexpr RealFeld kRealFelder[] = {
    {"strom1", &ProgramRecord::strom1},     {"strom2", &ProgramRecord::strom2},
    {"zeit1", &ProgramRecord::zeit1},       {"zeit2", &ProgramRecord::zeit2},
    {"frequenz", &ProgramRecord::frequenz}, {"spannung", &ProgramRecord::spannung},
    {"zyklen", &ProgramRecord::zyklen},     {"regelgeschwindigkeit", &ProgramRecord::regelgeschwindigkeit},
};

// Program n (0: the working parameters) from the device into *rec.
ErrorCode ProgrammLesen(int n, ProgramRecord* rec) {
  ErrorCode err = 0;
  if (n != 0 && (err = IntSchreiben("programmladen", n)) != 0) return err;
  int ganz = 0;
  if ((err = IntLesen("stromkurve", &ganz)) != 0) return err;
  rec->stromkurve = ganz;
  for (const RealFeld& f : kRealFelder) {
    if ((err = RealLesen(f.name, &(rec->*f.feld))) != 0) return err;
  }
  if ((err = IntLesen("endstuferegeln", &ganz)) != 0) return err;
  rec->endstuferegeln = ganz;
  return 0;
}

// *rec into the device's working parameters, then stored as program n (0: not stored).
ErrorCode ProgrammSchreiben(int n, const ProgramRecord* rec) {
  ErrorCode err = 0;
  if ((err = IntSchreiben("stromkurve", rec->stromkurve)) != 0) return err;
  for (const RealFeld& f : kRealFelder) {
    if ((err = RealSchreiben(f.name, rec->*f.feld)) != 0) return err;
  }
  if ((err = IntSchreiben("endstuferegeln", rec->endstuferegeln)) != 0) return err;
  if (n != 0 && (err = IntSchreiben("programmspeichern", n)) != 0) return err;
  return 0;
}

// Asks whether the selected slot or all programs are meant; fills the slot range.
// Returns false when the operator cancelled.
bool BereichErfragen(const char* titel, const char* text, int* von, int* bis) {
  int antwort = Englisch() ? GenericMessagePopup(titel, text, "Actual", "All", "Cancel")
                           : GenericMessagePopup(titel, text, "aktuelles", "alle", "abbrechen");
  if (antwort == 1) {
    *von = *bis = gParIndex;
    return true;
  }
  if (antwort == 2) {
    *von = 1;
    *bis = 16;
    return true;
  }
  return false;
}

int FortschrittOeffnen() {
  return CreateProgressDialog(Englisch() ? "Progress" : "Fortschritt", "", 1, 3, "");
}

void SlotAnzeigen() {
  ParameterAusStrukturInGui();
  ParametersterneSetzen();
}

ErrorCode StatusLesen(int* gelesen) {
  if (KeinPortOffen()) return kKeinPortStatus;
  int& status = *gelesen;
  ErrorCode err = IntLesen("status", &status);
  if (err != 0) return err;
  for (int i : kSetzReihenfolge) SetCtrlVal(gPanelHandle, kLampen[i].led, (status & kLampen[i].bit) != 0 ? 1 : 0);
  return 0;
}

ErrorCode ProgrammNummerSenden(const char* parameter) {
  if (KeinPortOffen()) return kKeinPort;
  int n = 0;
  GetCtrlVal(gPanelHandle, MAINPANEL_EINZUSTELLENDESPROG, &n);
  return IntSchreiben(parameter, n);
}

ErrorCode Geraetefunktion(const char* funktion) {
  if (KeinPortOffen()) return kKeinPort;
  return OLQZPK3X_DeviceFunction(gCom.offenerPort, gCom.adresse, funktion);
}

}  // namespace

ErrorCode Zpk3ProgrammLaden() { return ProgrammNummerSenden("programmladen"); }
ErrorCode Zpk3ProgrammSpeichern() { return ProgrammNummerSenden("programmspeichern"); }
ErrorCode Zpk3Starten() { return Geraetefunktion("start"); }
ErrorCode Zpk3Stoppen() { return Geraetefunktion("stopp"); }
ErrorCode Zpk3FehlerLoeschen() { return Geraetefunktion("fehlerloeschen"); }
ErrorCode Zpk3Kalibrieren() { return Geraetefunktion("kalibrieren"); }

namespace {
ErrorCode IstwerteLesen(double* strom, double* spannung, int* status) {
  if (KeinPortOffen()) return kKeinPort;
  ErrorCode err = RealLesen("iststrom", strom);
  if (err != 0) return err;
  SetCtrlVal(gPanelHandle, MAINPANEL_STROMIST, *strom);
  if ((err = RealLesen("istspannung", spannung)) != 0) return err;
  SetCtrlVal(gPanelHandle, MAINPANEL_SPANNUNGIST, *spannung);
  return StatusLesen(status);
}
}  // namespace

ErrorCode IstwerteAbfragen() {
  double strom = 0.0, spannung = 0.0;
  int status = 0;
  const ErrorCode err = IstwerteLesen(&strom, &spannung, &status);
  VerlaufAbfrage(err, strom, spannung, status);  // the trend window sees every query
  return err;
}

const char* StatusZeile(int bit) {
  for (const StatusLampe& l : kLampen)
    if (l.bit == bit) return Englisch() ? l.englisch : l.deutsch;
  return nullptr;
}

ErrorCode Zpk3ProgrammeLesen() {
  if (KeinPortOffen()) return kKeinPort;
  int von = 0, bis = 0;
  bool gewaehlt = Englisch() ? BereichErfragen("read from ZPK", "Read all programs or actual program only?", &von, &bis)
                             : BereichErfragen("von ZPK lesen",
                                               "Nur aktuell ausgewähltes oder alle Programme lesen?", &von, &bis);
  if (!gewaehlt) return 0;

  int dialog = FortschrittOeffnen();
  const int anzahl = bis - von + 1;
  ProgramRecord rec{};
  for (int i = von; i <= bis; ++i) {
    ErrorCode err = ProgrammLesen(i, &rec);
    if (err != 0) {
      // The slots read so far are already in the table: show the selected one as
      // it now stands, so the window never disagrees with the table.
      SlotAnzeigen();
      DiscardProgressDialog(dialog);
      return err;
    }
    gPar[i] = rec;
    const int k = i - von + 1;
    UpdateProgressDialog(dialog, k * 100 / anzahl, 0);
  }
  gPar[0] = rec;  // the device's working parameters now hold the last program read
  SlotAnzeigen();
  DiscardProgressDialog(dialog);
  return 0;
}

ErrorCode Zpk3ProgrammeSchreiben() {
  if (KeinPortOffen()) return kKeinPort;
  int von = 0, bis = 0;
  bool gewaehlt =
      Englisch() ? BereichErfragen("Write to ZPK", "Write all programs or actual program only?", &von, &bis)
                 : BereichErfragen("auf ZPK schreiben", "Nur aktuell ausgewähltes oder alle Programme schreiben?",
                                   &von, &bis);
  if (!gewaehlt) return 0;

  int dialog = FortschrittOeffnen();
  const int anzahl = bis - von + 1;
  ProgramRecord rec{};
  for (int i = von; i <= bis; ++i) {
    rec = gPar[i];
    ErrorCode err = ProgrammSchreiben(i, &rec);
    if (err != 0) {
      DiscardProgressDialog(dialog);
      return err;
    }
    const int k = i - von + 1;
    UpdateProgressDialog(dialog, k * 100 / anzahl, 0);
  }
  gPar[0] = rec;  // the device's working parameters now hold the last program written
  SlotAnzeigen();
  DiscardProgressDialog(dialog);
  return 0;
}

void StatusinfoPopup() {
  // The explanation follows the lamps as shown, not a fresh device reading.
  char text[400] = "";
  std::size_t laenge = 0;
  for (const StatusLampe& l : kLampen) {
    int an = 0;
    GetCtrlVal(gPanelHandle, l.led, &an);
    if (an == 0) continue;
    const char* zeile = Englisch() ? l.englisch : l.deutsch;
    const std::size_t n = std::strlen(zeile);
    if (laenge + n >= sizeof text) break;
    std::memcpy(text + laenge, zeile, n + 1);
    laenge += n;
  }
  MessagePopup(Englisch() ? "Process status" : "Prozesstatus", text);
}

// ---- callbacks ----

namespace {

int ErgebnisZeigen(int event, ErrorCode (*operation)()) {
  if (event == EVENT_COMMIT) ComFehlerSetzen(operation());
  return 0;
}

}  // namespace

int Callback_Button_Zpk3Lesen(int, int, int event, void*, int, int) {
  return ErgebnisZeigen(event, Zpk3ProgrammeLesen);
}
int Callback_Button_Zpk3Schreiben(int, int, int event, void*, int, int) {
  return ErgebnisZeigen(event, Zpk3ProgrammeSchreiben);
}
int Callback_Button_ProgrammLaden(int, int, int event, void*, int, int) {
  return ErgebnisZeigen(event, Zpk3ProgrammLaden);
}
int Callback_Button_ProgrammSpeichern(int, int, int event, void*, int, int) {
  return ErgebnisZeigen(event, Zpk3ProgrammSpeichern);
}
int Callback_Button_Zpk3Start(int, int, int event, void*, int, int) { return ErgebnisZeigen(event, Zpk3Starten); }
int Callback_Button_Zpk3Stopp(int, int, int event, void*, int, int) { return ErgebnisZeigen(event, Zpk3Stoppen); }
int Callback_Button_Zpk3FehlerLoeschen(int, int, int event, void*, int, int) {
  return ErgebnisZeigen(event, Zpk3FehlerLoeschen);
}
int Callback_Button_Zpk3Kalibrieren(int, int, int event, void*, int, int) {
  return ErgebnisZeigen(event, Zpk3Kalibrieren);
}
int Callback_Button_Abfragen(int, int, int event, void*, int, int) {
  return ErgebnisZeigen(event, IstwerteAbfragen);
}

int Callback_Button_StatusInfo(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) StatusinfoPopup();
  return 0;
}

int Callback_Toggle_DauerndAbfragen(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  int an = 0;
  GetCtrlVal(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN, &an);
  SetCtrlAttribute(gPanelHandle, MAINPANEL_TIMER, ATTR_ENABLED, an != 0 ? 1 : 0);
  return 0;
}

int Callback_Timer(int, int, int event, void*, int, int) {
  if (event != EVENT_TIMER_TICK) return 0;
  ErrorCode err = IstwerteAbfragen();
  if (err != 0) {
    // Stop before showing, so the failure is reported once and not every tick.
    SetCtrlAttribute(gPanelHandle, MAINPANEL_TIMER, ATTR_ENABLED, 0);
    SetCtrlVal(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN, 0);
  }
  ComFehlerSetzen(err);
  return 0;
}

void GeraetCallbacksRegistrieren() {
  RegisterCtrlCallback("Callback_Button_Zpk3Lesen", Callback_Button_Zpk3Lesen);
  RegisterCtrlCallback("Callback_Button_Zpk3Schreiben", Callback_Button_Zpk3Schreiben);
  RegisterCtrlCallback("Callback_Button_ProgrammLaden", Callback_Button_ProgrammLaden);
  RegisterCtrlCallback("Callback_Button_ProgrammSpeichern", Callback_Button_ProgrammSpeichern);
  RegisterCtrlCallback("Callback_Button_Zpk3Start", Callback_Button_Zpk3Start);
  RegisterCtrlCallback("Callback_Button_Zpk3Stopp", Callback_Button_Zpk3Stopp);
  RegisterCtrlCallback("Callback_Button_Zpk3FehlerLoeschen", Callback_Button_Zpk3FehlerLoeschen);
  RegisterCtrlCallback("Callback_Button_Zpk3Kalibrieren", Callback_Button_Zpk3Kalibrieren);
  RegisterCtrlCallback("Callback_Button_Abfragen", Callback_Button_Abfragen);
  RegisterCtrlCallback("Callback_Button_StatusInfo", Callback_Button_StatusInfo);
  RegisterCtrlCallback("Callback_Toggle_DauerndAbfragen", Callback_Toggle_DauerndAbfragen);
  RegisterCtrlCallback("Callback_Timer", Callback_Timer);
}
