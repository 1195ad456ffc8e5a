// The trend window: fed by every actual-value query, drawn on demand, recording
// to CSV, its own settings file.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Programmtransfer/Programmtransfer.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "ini/ini.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_graph.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

int gVerlaufPanelHandle = -1;

namespace {

constexpr const char* kIniDatei = "zpk3xVerlauf.ini";
constexpr const char* kSektion = "Verlauf";
constexpr ErrorCode kBildSchreiben = -301213;
constexpr int kFarbeStrom = 0x1F5FBF;
constexpr int kFarbeSpannung = 0xC02020;

VerlaufSpeicher gDaten;
VerlaufAufzeichnung gAufzeichnung;
VerlaufAuszug gAuszug;  // kept between draws: its lists keep their capacity

// Settings of the window; those of zpk3xVerlauf.ini, or these defaults.
struct Einstellungen {
  int offen = 0;
  int breite = 900;
  int hoehe = 520;
  int zeitfensterS = 600;  // 0: everything kept
  int links = INT_MIN;     // where it was; INT_MIN: beside the operator window
  int oben = INT_MIN;
};
Einstellungen gEinst;
bool gBenutzt = false;  // the window was opened in this run
bool gFolgen = true;

std::int64_t (*gUhr)() = nullptr;
std::vector<GraphBand> gBaender;

bool Englisch() { return gSprache == 2; }

std::int64_t Jetzt() {
  if (gUhr) return gUhr();
  return VerlaufJetztMs();
}

// The status bits named in this run's language.
const std::vector<VerlaufStatusName>& StatusNamen() { return VerlaufStatusbitNamen(Englisch()); }

bool Sichtbar() {
  int an = 0;
  return gVerlaufPanelHandle >= 0 && GetPanelAttribute(gVerlaufPanelHandle, ATTR_VISIBLE, &an) == 0 && an != 0;
}

// "0,842" in German, "0.842" in English: what the operator reads.
std::string Zahl(double wert, int stellen) {
  char puffer[64];
  const auto r = std::to_chars(puffer, puffer + sizeof puffer, wert, std::chars_format::fixed, stellen);
  std::string z(puffer, r.ptr);
  if (!Englisch()) std::replace(z.begin(), z.end(), '.', ',');
  return z;
}

void CursorZeigen() {
  double t = 0;
  VerlaufProbe p;
  if (GetGraphCursor(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, &t) != 1 ||
      !VerlaufProbeBei(&gDaten, static_cast<std::int64_t>(std::llround(t)), &p)) {
    SetGraphCursorText(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, "");
    return;
  }
  std::string text = VerlaufUhrzeit(p.zeitMs) + "\n";
  if (p.fehler != 0) {
    text += (Englisch() ? "query failed: " : "Abfrage fehlgeschlagen: ") + std::to_string(p.fehler);
  } else {
    text += "I = " + Zahl(p.strom, 3) + " A\nU = " + Zahl(p.spannung, 1) + " V";
    const std::string namen = VerlaufStatusNamen(p.status, StatusNamen().data(), static_cast<int>(StatusNamen().size()));
    std::string zeilen = namen;
    std::replace(zeilen.begin(), zeilen.end(), '|', '\n');
    if (!zeilen.empty()) text += "\n" + zeilen;
  }
  SetGraphCursorText(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, text.c_str());
}

// The shown time range: following the newest sample, or where the operator left
// it. Following, the range moves in steps of one pixel column (and the span of
// "all" in steps of about 3 %), so that most queries change only the newest
// column and the axes stay put: the chart then repaints only its curves.
void Bereich(int pixel, double* von, double* bis) {
  if (!gFolgen) {
    GetGraphTimeRange(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, von, bis);
    return;
  }
  const bool leer = gDaten.anzahl == 0;
  const double neu =
      leer ? static_cast<double>(Jetzt()) : static_cast<double>(VerlaufProbeNr(&gDaten, gDaten.anzahl - 1).zeitMs);
  const double alt = leer ? neu : static_cast<double>(VerlaufProbeNr(&gDaten, 0).zeitMs);
  const bool alles = gEinst.zeitfensterS <= 0;
  double spanne = alles ? std::max(neu - alt, 2000.0) : gEinst.zeitfensterS * 1000.0;
  if (alles) {
    const double stufe = std::exp2(std::ceil(std::log2(spanne / 32)));
    spanne = std::ceil(spanne / stufe) * stufe;
  }
  const double spalte = spanne / std::max(pixel, 1);
  *bis = std::ceil(neu / spalte) * spalte;
  *von = *bis - spanne;
  if (alles && *von > alt) {
    *von = std::floor(alt / spalte) * spalte;
    *bis = *von + spanne;
    if (*bis < neu) {
      *bis = std::ceil(neu / spalte) * spalte;
      *von = *bis - spanne;
    }
  }
}

void Zeichnen() {
  const int p = gVerlaufPanelHandle;
  int pixel = 800;
  GetGraphPlotWidth(p, VERLAUFPANEL_GRAPH, &pixel);
  double von = 0, bis = 0;
  Bereich(pixel, &von, &bis);
  if (gFolgen) SetGraphTimeRange(p, VERLAUFPANEL_GRAPH, von, bis);
  VerlaufAuszugBilden(&gDaten, static_cast<std::int64_t>(std::floor(von)), static_cast<std::int64_t>(std::ceil(bis)),
                      pixel, &gAuszug);
  const int n = static_cast<int>(gAuszug.t.size());
  PlotGraphCurve(p, VERLAUFPANEL_GRAPH, VAL_LEFT_CURVE, gAuszug.t.data(), gAuszug.strom.data(), n);
  PlotGraphCurve(p, VERLAUFPANEL_GRAPH, VAL_RIGHT_CURVE, gAuszug.t.data(), gAuszug.spannung.data(), n);

  std::vector<double> zeiten;
  std::vector<std::string> namen;
  for (const VerlaufMarke& m : gDaten.marken) {
    if (m.zeitMs < von || m.zeitMs > bis) continue;
    const std::string name = VerlaufStatusNamen(m.bit, StatusNamen().data(), static_cast<int>(StatusNamen().size()));
    // Bits that came on together share one line.
    if (!zeiten.empty() && zeiten.back() == static_cast<double>(m.zeitMs)) {
      namen.back() += ", " + name;
      continue;
    }
    zeiten.push_back(static_cast<double>(m.zeitMs));
    namen.push_back(name);
  }
  SetGraphMarks(p, VERLAUFPANEL_GRAPH, zeiten.data(), namen.data(), static_cast<int>(zeiten.size()));
  CursorZeigen();
}

void AufzeichnungAnzeigen(const char* pfad) {
  const bool laeuft = VerlaufAufzeichnungLaeuft(&gAufzeichnung);
  SetCtrlAttribute(gVerlaufPanelHandle, VERLAUFPANEL_AUFZEICHNEN, ATTR_DIMMED, laeuft ? 1 : 0);
  SetCtrlAttribute(gVerlaufPanelHandle, VERLAUFPANEL_AUFZEICHNUNGSTOPP, ATTR_DIMMED, laeuft ? 0 : 1);
  SetCtrlVal(gVerlaufPanelHandle, VERLAUFPANEL_DATEI, laeuft ? pfad : "");
}

void AufzeichnungBeenden() {
  const ErrorCode fehler = VerlaufAufzeichnungBeenden(&gAufzeichnung);
  if (gVerlaufPanelHandle >= 0) AufzeichnungAnzeigen("");
  if (fehler != 0) OLQ_Fehlerpopup(fehler);
}

void EinstellungenLaden() {
  IniText ini = Ini_New(1);
  if (Ini_ReadFromFile(ini, kIniDatei) == 0) {
    int wert = 0;
    if (Ini_GetInt(ini, kSektion, "offen", &wert) > 0) gEinst.offen = wert != 0 ? 1 : 0;
    if (Ini_GetInt(ini, kSektion, "breite", &wert) > 0 && wert >= 200 && wert <= 20000) gEinst.breite = wert;
    if (Ini_GetInt(ini, kSektion, "hoehe", &wert) > 0 && wert >= 150 && wert <= 20000) gEinst.hoehe = wert;
    // A position far off every screen is left to the placement, which keeps it on one.
    if (Ini_GetInt(ini, kSektion, "links", &wert) > 0 && wert > -100000 && wert < 100000) gEinst.links = wert;
    if (Ini_GetInt(ini, kSektion, "oben", &wert) > 0 && wert > -100000 && wert < 100000) gEinst.oben = wert;
    if (Ini_GetInt(ini, kSektion, "zeitfenster", &wert) > 0 &&
        (wert == 0 || wert == 60 || wert == 600 || wert == 3600))
      gEinst.zeitfensterS = wert;
  }
  Ini_Dispose(ini);
}

void EinstellungenSchreiben() {
  IniText ini = Ini_New(1);
  Ini_PutInt(ini, kSektion, "offen", gEinst.offen);
  Ini_PutInt(ini, kSektion, "breite", gEinst.breite);
  Ini_PutInt(ini, kSektion, "hoehe", gEinst.hoehe);
  Ini_PutInt(ini, kSektion, "zeitfenster", gEinst.zeitfensterS);
  if (gEinst.links != INT_MIN && gEinst.oben != INT_MIN) {
    Ini_PutInt(ini, kSektion, "links", gEinst.links);
    Ini_PutInt(ini, kSektion, "oben", gEinst.oben);
  }
  Ini_WriteToFile(ini, kIniDatei);  // at the end nobody is left to tell of a failure
  Ini_Dispose(ini);
}

// Size, place and open state as the operator left them.
void FensterMerken() {
  if (gVerlaufPanelHandle < 0) return;
  gEinst.offen = Sichtbar() ? 1 : 0;
  int x = 0, y = 0;
  if (GetPanelAttribute(gVerlaufPanelHandle, ATTR_LEFT, &x) == 0 && GetPanelAttribute(gVerlaufPanelHandle, ATTR_TOP, &y) == 0) {
    gEinst.links = x;
    gEinst.oben = y;
  }
  int b = 0, h = 0;
  if (GetPanelAttribute(gVerlaufPanelHandle, ATTR_WIDTH, &b) == 0 && b > 0) gEinst.breite = b;
  if (GetPanelAttribute(gVerlaufPanelHandle, ATTR_HEIGHT, &h) == 0 && h > 0) gEinst.hoehe = h;
}

ErrorCode FensterLaden() {
  if (gVerlaufPanelHandle >= 0) return 0;
  const char* uir = Englisch() ? "zpk3xSteuerung_en.uir" : "zpk3xSteuerung.uir";
  const int p = LoadPanel(0, uir, VERLAUFPANEL);
  if (p < 0) return -651214;  // "Could not create panel"
  gVerlaufPanelHandle = p;
  SetGraphCurveLook(p, VERLAUFPANEL_GRAPH, VAL_LEFT_CURVE, Englisch() ? "Actual current" : "Iststrom",
                    Englisch() ? "Current [A]" : "Strom [A]", kFarbeStrom);
  SetGraphCurveLook(p, VERLAUFPANEL_GRAPH, VAL_RIGHT_CURVE, Englisch() ? "Actual voltage" : "Istspannung",
                    Englisch() ? "Voltage [V]" : "Spannung [V]", kFarbeSpannung);
  SetGraphBands(p, VERLAUFPANEL_GRAPH, gBaender.data(), static_cast<int>(gBaender.size()));
  SetCtrlVal(p, VERLAUFPANEL_ZEITFENSTER, gEinst.zeitfensterS);
  SetCtrlVal(p, VERLAUFPANEL_FOLGEN, gFolgen ? 1 : 0);
  AufzeichnungAnzeigen("");
  return 0;
}

std::string DateiErfragen(const char* muster, const char* titelDe, const char* titelEn) {
  std::string pfad;
  const int r = FileSelectPopup("", muster, muster, Englisch() ? titelEn : titelDe, VAL_SAVE_BUTTON, 0, 1, 1, 1, &pfad);
  return r > 0 ? pfad : std::string();
}

}  // namespace

void VerlaufBaenderSetzen(const GraphBand* baender, int anzahl) {
  gBaender.assign(baender, baender + anzahl);
  if (gVerlaufPanelHandle >= 0) SetGraphBands(gVerlaufPanelHandle, VERLAUFPANEL_GRAPH, gBaender.data(), anzahl);
}

const VerlaufSpeicher& VerlaufDatenLesen() { return gDaten; }
void VerlaufUhrSetzen(std::int64_t (*uhr)()) { gUhr = uhr; }

void VerlaufNeuzeichnen() {
  if (Sichtbar()) Zeichnen();
}

void VerlaufAbfrage(ErrorCode fehler, double strom, double spannung, int status) {
  VerlaufProbe p;
  p.zeitMs = Jetzt();
  p.fehler = fehler;
  if (fehler == 0) {
    p.strom = strom;
    p.spannung = spannung;
    p.status = status;
  }
  VerlaufAnhaengen(&gDaten, p);
  if (VerlaufAufzeichnungLaeuft(&gAufzeichnung)) {
    const auto& namen = StatusNamen();
    const ErrorCode e = VerlaufAufzeichnungZeile(&gAufzeichnung, p, namen.data(), static_cast<int>(namen.size()));
    if (e != 0) {
      // The recording has stopped: said once, here, and not at every query after.
      if (gVerlaufPanelHandle >= 0) AufzeichnungAnzeigen("");
      OLQ_Fehlerpopup(e);
    }
  }
  VerlaufNeuzeichnen();
}

ErrorCode VerlaufOeffnen() {
  const bool neu = gVerlaufPanelHandle < 0;
  if (ErrorCode e = FensterLaden(); e != 0) return e;
  gBenutzt = true;
  if (neu) {
    SetPanelSize(gVerlaufPanelHandle, gEinst.breite, gEinst.hoehe);
    // Opened beside the operator window, it leaves what the operator watches in
    // view: the continuous query's switch and the error area above all, then
    // the actual values with their buttons, the status lamps and the connection picture.
    static constexpr int kFrei[] = {MAINPANEL_DAUERNDABFRAGEN, MAINPANEL_FEHLERLED,    MAINPANEL_FEHLERSTRING,
                                    MAINPANEL_FEHLERNUMMER,    MAINPANEL_DECORATION_4, MAINPANEL_DECORATION_6,
                                    MAINPANEL_COMPICTURERING};
    SetPanelPlaceKeeping(gVerlaufPanelHandle, gEinst.links, gEinst.oben, gPanelHandle, kFrei,
                         static_cast<int>(std::size(kFrei)), 4);
  } else if (!Sichtbar()) {
    // Opened again, it shows its time window with the newest values, not
    // whatever part the operator last looked at.
    gFolgen = true;
    SetCtrlVal(gVerlaufPanelHandle, VERLAUFPANEL_FOLGEN, 1);
  }
  DisplayPanel(gVerlaufPanelHandle);
  Zeichnen();
  return 0;
}

void VerlaufStarten() {
  EinstellungenLaden();
  if (gEinst.offen) VerlaufOeffnen();
}

void VerlaufBeenden() {
  if (VerlaufAufzeichnungLaeuft(&gAufzeichnung)) VerlaufAufzeichnungBeenden(&gAufzeichnung);
  if (gBenutzt) {
    FensterMerken();
    EinstellungenSchreiben();
  }
  if (gVerlaufPanelHandle >= 0) DiscardPanel(gVerlaufPanelHandle);
  gVerlaufPanelHandle = -1;
  gBenutzt = false;
  gFolgen = true;
  gEinst = Einstellungen();
  gBaender.clear();
  VerlaufLeeren(&gDaten);
}

// ---- callbacks ----

void Callback_Menu_Verlauf(int, int, void*, int) {
  if (ErrorCode e = VerlaufOeffnen(); e != 0) OLQ_Fehlerpopup(e);
}

int Callback_Button_Verlauf(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) Callback_Menu_Verlauf(0, 0, nullptr, 0);
  return 0;
}

int Callback_Panel_Verlauf(int panel, int event, void*, int, int) {
  if (event != EVENT_CLOSE) return 0;
  // Closing ends a recording cleanly; the course itself is kept.
  if (VerlaufAufzeichnungLaeuft(&gAufzeichnung)) AufzeichnungBeenden();
  FensterMerken();
  HidePanel(panel);
  gEinst.offen = 0;
  return 0;
}

int Callback_Ring_VerlaufZeitfenster(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, control, &gEinst.zeitfensterS);
  gFolgen = true;
  SetCtrlVal(panel, VERLAUFPANEL_FOLGEN, 1);
  Zeichnen();
  return 0;
}

int Callback_Toggle_VerlaufFolgen(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  int an = 0;
  GetCtrlVal(panel, control, &an);
  gFolgen = an != 0;
  Zeichnen();
  return 0;
}

int Callback_Button_VerlaufLeeren(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  VerlaufLeeren(&gDaten);  // a recording goes on
  Zeichnen();
  return 0;
}

int Callback_Button_VerlaufBild(int panel, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  const std::string pfad = DateiErfragen("*.png", "Als Bild speichern", "Save as image");
  if (pfad.empty()) return 0;
  if (SaveCtrlDisplayToFile(panel, VERLAUFPANEL_GRAPH, pfad.c_str()) != 0) OLQ_Fehlerpopup(kBildSchreiben);
  return 0;
}

int Callback_Button_VerlaufAufzeichnen(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  const std::string pfad = DateiErfragen("*.csv", "Aufzeichnen", "Record");
  if (pfad.empty()) return 0;
  const ErrorCode e = VerlaufAufzeichnungStarten(&gAufzeichnung, pfad.c_str());
  AufzeichnungAnzeigen(pfad.c_str());
  if (e != 0) OLQ_Fehlerpopup(e);
  return 0;
}

int Callback_Button_VerlaufAufzeichnungStopp(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) AufzeichnungBeenden();
  return 0;
}

int Callback_Graph_Verlauf(int panel, int, int event, void*, int, int) {
  if (event == EVENT_GRAPH_RANGE) {
    // The operator looks at a part of the course: the axis stays where it is put.
    gFolgen = false;
    SetCtrlVal(panel, VERLAUFPANEL_FOLGEN, 0);
    Zeichnen();
  } else if (event == EVENT_GRAPH_CURSOR) {
    CursorZeigen();
  }
  return 0;
}

void VerlaufCallbacksRegistrieren() {
  RegisterMenuCallback("Callback_Menu_Verlauf", Callback_Menu_Verlauf);
  RegisterCtrlCallback("Callback_Button_Verlauf", Callback_Button_Verlauf);
  RegisterPanelCallback("Callback_Panel_Verlauf", Callback_Panel_Verlauf);
  RegisterCtrlCallback("Callback_Ring_VerlaufZeitfenster", Callback_Ring_VerlaufZeitfenster);
  RegisterCtrlCallback("Callback_Toggle_VerlaufFolgen", Callback_Toggle_VerlaufFolgen);
  RegisterCtrlCallback("Callback_Button_VerlaufLeeren", Callback_Button_VerlaufLeeren);
  RegisterCtrlCallback("Callback_Button_VerlaufBild", Callback_Button_VerlaufBild);
  RegisterCtrlCallback("Callback_Button_VerlaufAufzeichnen", Callback_Button_VerlaufAufzeichnen);
  RegisterCtrlCallback("Callback_Button_VerlaufAufzeichnungStopp", Callback_Button_VerlaufAufzeichnungStopp);
  RegisterCtrlCallback("Callback_Graph_Verlauf", Callback_Graph_Verlauf);
}
