// Program table: defaults, transfer between the selected slot and the parameter
// fields of the operator window, and the markers of the parameters a curve needs.
#include "zpk3xFunktionen/zpk3xFunktionen.h"

#include "toolkit/toolkit.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

ProgramRecord gPar[PROGRAMM_SLOTS];
int gParIndex = 0;

namespace {

constexpr ProgramRecord kStandardsatz = PROGRAMM_STANDARDSATZ;

// Marker controls in the column order of the table below.
constexpr int kSterne[9] = {
    MAINPANEL_STERN_STROM1,   MAINPANEL_STERN_STROM2,   MAINPANEL_STERN_ZEIT1,
    MAINPANEL_STERN_ZEIT2,    MAINPANEL_STERN_FREQUENZ, MAINPANEL_STERN_SPANNUNG,
    MAINPANEL_STERN_ZYKLEN,   MAINPANEL_STERN_REGELGESCHW, MAINPANEL_STERN_ENDSTUFEREGELN,
};
constexpr int kSternRegelgeschwindigkeit = 7;

// Which parameters each curve 1..12 needs (row = curve - 1, columns as kSterne).
constexpr unsigned char kSternTabelle[12][9] = {
    {0, 0, 0, 0, 1, 1, 0, 0, 1},  // 1
    {0, 0, 0, 0, 1, 1, 0, 0, 1},  // 2
    {1, 1, 1, 1, 1, 1, 1, 0, 1},  // 3
    {1, 1, 1, 1, 1, 1, 1, 1, 1},  // 4
    {1, 1, 1, 1, 1, 1, 1, 0, 1},  // 5
    {1, 1, 1, 1, 1, 1, 1, 1, 1},  // 6
    {1, 1, 0, 0, 1, 1, 0, 1, 1},  // 7
    {1, 0, 0, 0, 1, 1, 0, 1, 1},  // 8
    {1, 1, 0, 0, 1, 1, 0, 1, 1},  // 9
    {1, 1, 1, 1, 1, 1, 1, 1, 1},  // 10
    {0, 0, 0, 0, 1, 1, 0, 1, 1},  // 11
    {0, 0, 0, 0, 1, 1, 1, 0, 1},  // 12
};

// The index only ever comes from the ring or a checked file; clamp anyway so a
// stray value can never reach past the table.
ProgramRecord& AktuellerSatz() {
  if (gParIndex < 0 || gParIndex >= PROGRAMM_SLOTS) gParIndex = 0;
  return gPar[gParIndex];
}

// A control that cannot deliver its value leaves the field as it was.
void FeldLesen(int control, double* feld) {
  double wert = 0.0;
  if (GetCtrlVal(gPanelHandle, control, &wert) >= 0) *feld = wert;
}

void FeldLesen(int control, std::int32_t* feld) {
  int wert = 0;
  if (GetCtrlVal(gPanelHandle, control, &wert) >= 0) *feld = wert;
}

}  // namespace

void ParameterStrukturInitialisieren() {
  for (ProgramRecord& satz : gPar) satz = kStandardsatz;
  gParIndex = 0;
}

void ParameterAusStrukturInGui() {
  const ProgramRecord& satz = AktuellerSatz();
  SetCtrlVal(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, gParIndex);
  SetCtrlVal(gPanelHandle, MAINPANEL_STROMKURVE, static_cast<int>(satz.stromkurve));
  SetCtrlVal(gPanelHandle, MAINPANEL_STROM1, satz.strom1);
  SetCtrlVal(gPanelHandle, MAINPANEL_STROM2, satz.strom2);
  SetCtrlVal(gPanelHandle, MAINPANEL_ZEIT1, satz.zeit1);
  SetCtrlVal(gPanelHandle, MAINPANEL_ZEIT2, satz.zeit2);
  SetCtrlVal(gPanelHandle, MAINPANEL_FREQUENZ, satz.frequenz);
  SetCtrlVal(gPanelHandle, MAINPANEL_SPANNUNG, satz.spannung);
  SetCtrlVal(gPanelHandle, MAINPANEL_ZYKLEN, satz.zyklen);
  SetCtrlVal(gPanelHandle, MAINPANEL_REGELGESCHWINDIGKEIT, satz.regelgeschwindigkeit);
  SetCtrlVal(gPanelHandle, MAINPANEL_ENDSTUFEREGELN, static_cast<int>(satz.endstuferegeln));
}

void ParameterAusGuiInStruktur() {
  ProgramRecord& satz = AktuellerSatz();
  FeldLesen(MAINPANEL_STROMKURVE, &satz.stromkurve);
  FeldLesen(MAINPANEL_STROM1, &satz.strom1);
  FeldLesen(MAINPANEL_STROM2, &satz.strom2);
  FeldLesen(MAINPANEL_ZEIT1, &satz.zeit1);
  FeldLesen(MAINPANEL_ZEIT2, &satz.zeit2);
  FeldLesen(MAINPANEL_FREQUENZ, &satz.frequenz);
  FeldLesen(MAINPANEL_SPANNUNG, &satz.spannung);
  FeldLesen(MAINPANEL_ZYKLEN, &satz.zyklen);
  FeldLesen(MAINPANEL_REGELGESCHWINDIGKEIT, &satz.regelgeschwindigkeit);
  FeldLesen(MAINPANEL_ENDSTUFEREGELN, &satz.endstuferegeln);
}

void ParametersatzUmschalten() {
  int index = 0;
  if (GetCtrlVal(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, &index) >= 0 && index >= 0 &&
      index < PROGRAMM_SLOTS)
    gParIndex = index;
  ParameterAusStrukturInGui();
  ParametersterneSetzen();
}

void ParametersterneSetzen() {
  const ProgramRecord& satz = AktuellerSatz();
  if (satz.stromkurve >= 1 && satz.stromkurve <= 12) {
    const unsigned char* zeile = kSternTabelle[satz.stromkurve - 1];
    for (int i = 0; i < 9; ++i) SetCtrlAttribute(gPanelHandle, kSterne[i], ATTR_VISIBLE, int{zeile[i]});
  }
  // Output-stage regulation always uses the regulation speed, whatever the curve.
  if (satz.endstuferegeln != 0)
    SetCtrlAttribute(gPanelHandle, kSterne[kSternRegelgeschwindigkeit], ATTR_VISIBLE, 1);
}

int Callback_Ring_Parametersatz(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) ParametersatzUmschalten();
  return 0;
}

int Callback_Multi_Parameter(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) {
    ParameterAusGuiInStruktur();
    ParametersterneSetzen();
  }
  return 0;
}

void ZpkFunktionenCallbacksRegistrieren() {
  RegisterCtrlCallback("Callback_Ring_Parametersatz", Callback_Ring_Parametersatz);
  RegisterCtrlCallback("Callback_Multi_Parameter", Callback_Multi_Parameter);
}
