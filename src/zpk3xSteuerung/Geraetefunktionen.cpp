// Operator actions that talk to the device: program transfer, load/save inside
// the device, start/stop/clear/calibrate, actual values, status lamps.
#include <cstring>

#include "Com/Com.h"
#include "Geraetemeldungen/Geraetemeldungen.h"
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Programmtransfer/Programmtransfer.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "zpk3xSteuerung/Veroeffentlichung.h"
#include "olqzpk3x/olqzpk3x.h"
#include "progress/progress.h"
#include "toolkit/toolkit.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

constexpr ErrorCode kKeinPort = -122201;

// 0 when the device can be reached (a port lost by a hang-up is opened again).
ErrorCode PortPruefen() { return ComPortFuerGeraet(kKeinPort); }

bool Englisch() { return gSprache == 2; }

// One LED per shown status bit, in the order of the status table (rising bit).
constexpr int kLampen[STATUSBITS_ANZAHL] = {MAINPANEL_STATUS0, MAINPANEL_STATUS1,  MAINPANEL_STATUS3,
                                            MAINPANEL_STATUS4, MAINPANEL_STATUS8,  MAINPANEL_STATUS9,
                                            MAINPANEL_STATUS11, MAINPANEL_STATUS13};
// The window sets the process lamps first, then the fault lamps.
constexpr int kSetzReihenfolge[] = {4, 5, 6, 7, 0, 1, 2, 3};

Geraeteverbindung Verbindung() { return {gCom.offenerPort, gCom.adresse}; }

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

void LampenSetzen(int status) {
  for (int i : kSetzReihenfolge)
    SetCtrlVal(gPanelHandle, kLampen[i], (status & STATUSBITS[i].bit) != 0 ? 1 : 0);
}

// The progress dialog's bar after each program.
void FortschrittZeigen(int fertig, int anzahl, void* dialog) {
  UpdateProgressDialog(*static_cast<int*>(dialog), fertig * 100 / anzahl, 0);
}

// A transfer that broke off: the error area says after the code's text how far
// it got, as the command line does, so the operator knows which programs stand.
ErrorCode MitStand(ErrorCode err, bool schreiben, int von, const Transferbericht& bericht) {
  if (err != 0) OLQ_Fehleruserstring((": " + TransferStand(schreiben, von, bericht)).c_str());
  return err;
}

ErrorCode ProgrammNummerSenden(const char* parameter) {
  if (ErrorCode e = PortPruefen(); e != 0) return e;
  int n = 0;
  GetCtrlVal(gPanelHandle, MAINPANEL_EINZUSTELLENDESPROG, &n);
  return ProgrammnummerSenden(Verbindung(), parameter, n);
}

ErrorCode Geraetefunktion(const char* funktion) {
  if (ErrorCode e = PortPruefen(); e != 0) return e;
  return GeraetefunktionSenden(Verbindung(), funktion);
}

}  // namespace

ErrorCode Zpk3ProgrammLaden() { return ProgrammNummerSenden("programmladen"); }
ErrorCode Zpk3ProgrammSpeichern() { return ProgrammNummerSenden("programmspeichern"); }
ErrorCode Zpk3Starten() { return Geraetefunktion("start"); }
ErrorCode Zpk3Stoppen() { return Geraetefunktion("stopp"); }
ErrorCode Zpk3FehlerLoeschen() { return Geraetefunktion("fehlerloeschen"); }
ErrorCode Zpk3Kalibrieren() { return Geraetefunktion("kalibrieren"); }

namespace {

// The query, after `err` from the check of the port.
ErrorCode IstwerteAbfragenNach(ErrorCode err) {
  Istwerte werte{};
  if (err == 0) err = IstwerteLesen(Verbindung(), &werte);
  VerlaufAbfrage(err, werte.strom, werte.spannung, werte.status);  // the trend window sees every query
  VeroeffentlichungAbfrage(err, werte);                            // and so does the broker, where set
  // What arrived before a failure is shown, as each value is read.
  if (werte.gelesen >= 1) SetCtrlVal(gPanelHandle, MAINPANEL_STROMIST, werte.strom);
  if (werte.gelesen >= 2) SetCtrlVal(gPanelHandle, MAINPANEL_SPANNUNGIST, werte.spannung);
  if (werte.gelesen >= 3) LampenSetzen(werte.status);
  return err;
}

}  // namespace

ErrorCode IstwerteAbfragen() { return IstwerteAbfragenNach(PortPruefen()); }

ErrorCode Zpk3ProgrammeLesen() {
  if (ErrorCode e = PortPruefen(); e != 0) return e;
  int von = 0, bis = 0;
  bool gewaehlt = Englisch() ? BereichErfragen("read from ZPK", "Read all programs or actual program only?", &von, &bis)
                             : BereichErfragen("von ZPK lesen",
                                               "Nur aktuell ausgewähltes oder alle Programme lesen?", &von, &bis);
  if (!gewaehlt) return 0;

  int dialog = FortschrittOeffnen();
  Transferbericht bericht;
  const ErrorCode err = ProgrammeLesen(Verbindung(), von, bis, gPar, FortschrittZeigen, &dialog, &bericht);
  // After a failure the slots read so far are already in the table: show the
  // selected one as it now stands, so the window never disagrees with the table.
  SlotAnzeigen();
  DiscardProgressDialog(dialog);
  return MitStand(err, false, von, bericht);
}

ErrorCode Zpk3ProgrammeSchreiben() {
  if (ErrorCode e = PortPruefen(); e != 0) return e;
  int von = 0, bis = 0;
  bool gewaehlt =
      Englisch() ? BereichErfragen("Write to ZPK", "Write all programs or actual program only?", &von, &bis)
                 : BereichErfragen("auf ZPK schreiben", "Nur aktuell ausgewähltes oder alle Programme schreiben?",
                                   &von, &bis);
  if (!gewaehlt) return 0;

  int dialog = FortschrittOeffnen();
  Transferbericht bericht;
  const ErrorCode err = ProgrammeSchreiben(Verbindung(), von, bis, gPar, FortschrittZeigen, &dialog, &bericht);
  if (err != 0) {
    DiscardProgressDialog(dialog);
    return MitStand(err, true, von, bericht);
  }
  SlotAnzeigen();
  DiscardProgressDialog(dialog);
  return 0;
}

void StatusinfoPopup() {
  // The explanation follows the lamps as shown, not a fresh device reading.
  char text[400] = "";
  std::size_t laenge = 0;
  for (int i = 0; i < STATUSBITS_ANZAHL; ++i) {
    int an = 0;
    GetCtrlVal(gPanelHandle, kLampen[i], &an);
    if (an == 0) continue;
    const char* zeile = Englisch() ? STATUSBITS[i].englisch : STATUSBITS[i].deutsch;
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
  ErgebnisZeigen(event, IstwerteAbfragen);
  if (event == EVENT_COMMIT) VeroeffentlichungZeigen();
  return 0;
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
  // A tick is no operator's command: a line that hung up since the last one is
  // reported as such, and only the operator's next command opens the port again.
  ErrorCode err = IstwerteAbfragenNach(ComLeitungVerloren() ? OLQZPK3X_LEITUNG_GETRENNT : PortPruefen());
  if (err != 0) {
    // Stop before showing, so the failure is reported once and not every tick.
    SetCtrlAttribute(gPanelHandle, MAINPANEL_TIMER, ATTR_ENABLED, 0);
    SetCtrlVal(gPanelHandle, MAINPANEL_DAUERNDABFRAGEN, 0);
  }
  ComFehlerSetzen(err);
  VeroeffentlichungZeigen();
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
