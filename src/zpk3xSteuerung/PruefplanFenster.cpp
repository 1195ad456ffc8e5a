// The test plan window: thin glue over the test plan module, which reads, runs,
// judges and files a plan for the command line as well.
#include "zpk3xSteuerung/PruefplanFenster.h"

#include <cstring>
#include <string>
#include <vector>

#include "Com/Com.h"
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Pruefplan/Aufzeichnung.h"
#include "Pruefplan/Pruefplan.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_graph.h"
#include "zpk3xSteuerung/Veroeffentlichung.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"

int gPruefPanelHandle = -1;
std::string gProtokollordner = PROTOKOLLORDNER_STANDARD;

namespace {

constexpr ErrorCode kKeinPort = -122201;
constexpr int kFarbeNeutral = 0xF0F0F0;

Pruefplan gPlan;
bool gPlanGewaehlt = false;
bool gLaeuft = false;
bool gAbbruch = false;
bool gHauptfensterZu = false;  // the operator window was closed during the run
std::vector<GraphBand> gBaender;

bool Englisch() { return gSprache == 2; }
const char* T(const char* de, const char* en) { return Englisch() ? en : de; }

void Ergebnis(const char* text, int farbe) {
  SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_ERGEBNIS, text);
  SetCtrlAttribute(gPruefPanelHandle, PRUEFPANEL_ERGEBNIS, ATTR_FILL_COLOR, farbe);
}

void Meldung(const std::string& text) { SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_MELDUNG, text.c_str()); }

// A failure before anything was sent: the catalogue's code and text, no verdict.
void Fehler(ErrorCode code, const std::string& detail) {
  Ergebnis("", kFarbeNeutral);
  SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_SCHRITT, "");
  Meldung(std::to_string(code) + " " + OLQ_Fehlermeldung(code) + detail);
}

// Asked between samples, in waits and during transfers: lets the windows draw
// (input stays discarded) and ends the run when the operator closed the plan
// window or the operator window.
bool Abbrechen() {
  ProcessDrawEvents();
  if (CloseRequested(gPanelHandle)) gHauptfensterZu = gAbbruch = true;
  if (CloseRequested(gPruefPanelHandle)) gAbbruch = true;
  return gAbbruch;
}

// A measurement's limits as bands over the time it will sample.
void BaenderZeigen(const Schritt& s) {
  const double von = static_cast<double>(VerlaufJetztMs()) + s.einschwingen * 1000.0;
  for (const Grenze& g : s.grenzen)
    gBaender.push_back({g.groesse == Groesse::Strom ? VAL_LEFT_CURVE : VAL_RIGHT_CURVE, von, von + s.dauer * 1000.0,
                        g.unten, g.oben});
  VerlaufBaenderSetzen(gBaender.data(), static_cast<int>(gBaender.size()));
}

int Farbe(Ausgang a) {
  switch (a) {
    case Ausgang::Pass: return 0x2E8B3A;
    case Ausgang::Fail: return 0xC02020;
    case Ausgang::Error: return 0xE07800;
    default: return 0x9A9A9A;
  }
}

const char* Urteil(Ausgang a) {
  switch (a) {
    case Ausgang::Pass: return T("bestanden", "passed");
    case Ausgang::Fail: return T("nicht bestanden", "failed");
    case Ausgang::Error: return T("Fehler am Gerät oder an der Leitung", "device or line error");
    default: return T("abgebrochen", "aborted");
  }
}

void PlanWaehlen(const std::string& pfad) {
  Pruefplan plan;
  Planfehler f;
  SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_PLAN, "");
  gPlanGewaehlt = false;
  if (PlanDateiLesen(pfad, &plan, &f) != 0) return Fehler(f.code, PlanfehlerDetail(pfad, f, Englisch()));
  gPlan = plan;
  gPlanGewaehlt = true;
  SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_PLAN, (plan.name + "  (" + pfad + ")").c_str());
  Ergebnis("", kFarbeNeutral);
  SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_SCHRITT, "");
  Meldung(std::to_string(plan.schritte.size()) + T(" Schritte", " steps"));
  SetActiveCtrl(gPruefPanelHandle, PRUEFPANEL_SERIENNUMMER);
}

void Starten() {
  if (gLaeuft) return;  // input is discarded during a run; this holds without it too
  std::string seriennummer;
  GetCtrlString(gPruefPanelHandle, PRUEFPANEL_SERIENNUMMER, &seriennummer);
  if (!gPlanGewaehlt) return Meldung(T("Zuerst einen Prüfplan wählen.", "Choose a test plan first."));
  if (!GueltigeSeriennummer(seriennummer))
    return Meldung(T("Seriennummer: eine Zeile Text, 1 bis 128 Bytes", "Serial number: one line of text, 1 to 128 bytes"));
  if (ErrorCode e = ComPortFuerGeraet(kKeinPort); e != 0) return Fehler(e, "");
  Planfehler f;
  if (PlanFuerLeitungPruefen(gPlan, gCom.baudrate, &f, Englisch()) != 0)
    return Fehler(f.code, PlanfehlerDetail(gPlan.datei, f, Englisch()));
  if (int sys = 0; AufzeichnungsordnerAnlegen(gProtokollordner, &sys) != 0)
    return Fehler(AUFZEICHNUNG_ORDNER, ": " + gProtokollordner + " (" + std::strerror(sys) + ")");

  gLaeuft = true;
  gAbbruch = gHauptfensterZu = false;
  Ergebnis(T("läuft …", "running …"), kFarbeNeutral);
  Meldung("");
  gBaender.clear();
  VerlaufBaenderSetzen(nullptr, 0);
  VerlaufOeffnen();
  Laufangaben a;
  a.seriennummer = seriennummer;
  a.port = std::to_string(gCom.offenerPort);
  a.baudrate = gCom.baudrate;
  a.adresse = gCom.adresse;
  a.englisch = Englisch();
  a.programm = std::string("zpk3x ") + ZPK3X_VERSION;
  const std::size_t anzahl = gPlan.schritte.size();
  a.beiSchritt = [anzahl](int i, const Schritt& s) {
    const std::string text = T("Schritt ", "Step ") + std::to_string(i + 1) + "/" + std::to_string(anzahl) + ": " + s.name;
    SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_SCHRITT, text.c_str());
    if (s.art == Schrittart::Messen) BaenderZeigen(s);
  };
  // Each sample is a query of the trend window's, so it shows (and records) them.
  a.beiProbe = [](int, const Probe& p) { VerlaufAbfrage(0, p.strom, p.spannung, p.status); };
  Ablage ablage;
  const Protokoll p =
      PlanAufLeitungAusfuehren(gPlan, {gCom.offenerPort, gCom.adresse}, Abbrechen, a, gProtokollordner, &ablage);
  gLaeuft = false;
  VeroeffentlichungErgebnis(ProtokollZusammenfassung(p).dump());

  Ergebnis(AusgangText(p.ausgang), Farbe(p.ausgang));
  SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_SCHRITT,
             (std::string(Urteil(p.ausgang)) + ": " + seriennummer + ", " + gPlan.name).c_str());
  std::string text = p.grund;
  if (p.stoppVersucht && p.stoppCode != 0)
    text += std::string(text.empty() ? "" : "\n") + T("Stopp nicht bestätigt: ", "Stop not acknowledged: ") +
            std::to_string(p.stoppCode);
  if (ablage.fehler != 0) {
    text += std::string(text.empty() ? "" : "\n") + std::to_string(ablage.fehler) + " " + OLQ_Fehlermeldung(ablage.fehler) +
            ": " + ablage.ordner + " (" + std::strerror(ablage.systemfehler) + ")";
  } else {
    text += std::string(text.empty() ? "" : "\n") + T("Aufzeichnung: ", "Record: ") + ablage.ordner;
  }
  Meldung(text);
  // Ready for the next unit's serial number.
  SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_SERIENNUMMER, "");
  SetActiveCtrl(gPruefPanelHandle, PRUEFPANEL_SERIENNUMMER);
  // The operator window was closed: the program ends now that the device is at rest.
  if (gHauptfensterZu) QuitUserInterface(0);
}

}  // namespace

int PruefplanOeffnen() {
  if (gPruefPanelHandle < 0) {
    const int p = LoadPanel(0, Englisch() ? "zpk3xSteuerung_en.uir" : "zpk3xSteuerung.uir", PRUEFPANEL);
    if (p < 0) return -651214;  // "Could not create panel"
    gPruefPanelHandle = p;
    Ergebnis("", kFarbeNeutral);
  }
  SetCtrlVal(gPruefPanelHandle, PRUEFPANEL_ORDNER, gProtokollordner.c_str());
  DisplayPanel(gPruefPanelHandle);
  SetActiveCtrl(gPruefPanelHandle, gPlanGewaehlt ? PRUEFPANEL_SERIENNUMMER : PRUEFPANEL_WAEHLEN);
  return 0;
}

bool PruefplanLaeuft() { return gLaeuft; }

bool PruefplanBeimSchliessenAbbrechen() {
  if (!gLaeuft) return false;
  gHauptfensterZu = gAbbruch = true;
  return true;
}

void PruefplanBeenden() {
  if (gPruefPanelHandle >= 0) DiscardPanel(gPruefPanelHandle);
  gPruefPanelHandle = -1;
  gPlan = Pruefplan();
  gPlanGewaehlt = false;
}

void Callback_Menu_Pruefplan(int, int, void*, int) {
  if (const int e = PruefplanOeffnen(); e != 0) OLQ_Fehlerpopup(e);
}

int Callback_Panel_Pruefplan(int panel, int event, void*, int, int) {
  if (event == EVENT_CLOSE && !gLaeuft) HidePanel(panel);
  return 0;
}

int Callback_Button_PruefplanWaehlen(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  std::string pfad;
  if (FileSelectPopup("", "*.toml", "*.toml", T("Prüfplan wählen", "Choose a test plan"), VAL_LOAD_BUTTON, 0, 0, 1, 0,
                      &pfad) > 0)
    PlanWaehlen(pfad);
  return 0;
}

int Callback_String_PruefplanSeriennummer(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) Starten();
  return 0;
}

int Callback_Button_PruefplanStarten(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) Starten();
  return 0;
}

void PruefplanCallbacksRegistrieren() {
  RegisterMenuCallback("Callback_Menu_Pruefplan", Callback_Menu_Pruefplan);
  RegisterPanelCallback("Callback_Panel_Pruefplan", Callback_Panel_Pruefplan);
  RegisterCtrlCallback("Callback_Button_PruefplanWaehlen", Callback_Button_PruefplanWaehlen);
  RegisterCtrlCallback("Callback_String_PruefplanSeriennummer", Callback_String_PruefplanSeriennummer);
  RegisterCtrlCallback("Callback_Button_PruefplanStarten", Callback_Button_PruefplanStarten);
}
