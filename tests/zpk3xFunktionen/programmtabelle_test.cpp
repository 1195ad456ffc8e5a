// Program table: defaults, markers, switching and editing through the window.
#include <array>

#include "support_ui/ui_fixture.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace {

using uitest::Ganzzahl;
using uitest::Sichtbar;
using uitest::Zahl;

using Sterne = std::array<int, 9>;  // strom1 strom2 zeit1 zeit2 frequenz spannung zyklen regelgeschw endstufe

Sterne SichtbareSterne() {
  const int ids[9] = {MAINPANEL_STERN_STROM1,   MAINPANEL_STERN_STROM2,      MAINPANEL_STERN_ZEIT1,
                      MAINPANEL_STERN_ZEIT2,    MAINPANEL_STERN_FREQUENZ,    MAINPANEL_STERN_SPANNUNG,
                      MAINPANEL_STERN_ZYKLEN,   MAINPANEL_STERN_REGELGESCHW, MAINPANEL_STERN_ENDSTUFEREGELN};
  Sterne s{};
  for (int i = 0; i < 9; ++i) {
    s[i] = -1;
    GetCtrlAttribute(gPanelHandle, ids[i], ATTR_VISIBLE, &s[i]);
  }
  return s;
}

void ErwarteStandard(const ProgramRecord& r) {
  EXPECT_EQ(r.stromkurve, 1);
  EXPECT_EQ(r.strom1, 0.1);
  EXPECT_EQ(r.strom2, 0.5);
  EXPECT_EQ(r.zeit1, 1000.0);
  EXPECT_EQ(r.zeit2, 1000.0);
  EXPECT_EQ(r.frequenz, 1000.0);
  EXPECT_EQ(r.spannung, 12.0);
  EXPECT_EQ(r.zyklen, 1.0);
  EXPECT_EQ(r.regelgeschwindigkeit, 100.0);
  EXPECT_EQ(r.endstuferegeln, 0);
}

class Programmtabelle : public uitest::UiTest {};

TEST_F(Programmtabelle, StartzustandZeigtStandardwerteUndSterneVonKurve1) {
  gPar[9].strom1 = 3.0;
  gParIndex = 9;
  ParameterStrukturInitialisieren();
  EXPECT_EQ(gParIndex, 0);
  for (const ProgramRecord& r : gPar) ErwarteStandard(r);

  ParameterAusStrukturInGui();
  ParametersterneSetzen();
  EXPECT_EQ(Ganzzahl(MAINPANEL_PARAMETERSATZAUSWAHL), 0);
  EXPECT_EQ(Ganzzahl(MAINPANEL_STROMKURVE), 1);
  EXPECT_DOUBLE_EQ(Zahl(MAINPANEL_STROM1), 0.1);
  EXPECT_DOUBLE_EQ(Zahl(MAINPANEL_STROM2), 0.5);
  EXPECT_DOUBLE_EQ(Zahl(MAINPANEL_SPANNUNG), 12.0);
  EXPECT_DOUBLE_EQ(Zahl(MAINPANEL_REGELGESCHWINDIGKEIT), 100.0);
  EXPECT_EQ(Ganzzahl(MAINPANEL_ENDSTUFEREGELN), 0);
  EXPECT_EQ(SichtbareSterne(), (Sterne{0, 0, 0, 0, 1, 1, 0, 0, 1}));
  EXPECT_EQ(Sichtbar(MAINPANEL_TEXTMSG_10), 1);
}

TEST_F(Programmtabelle, JedeKurveSetztIhreSterne) {
  const Sterne erwartet[13] = {
      {},
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
  // Alternate between rows so that a marker left over from the previous curve shows.
  const int folge[] = {4, 1, 8, 12, 3, 11, 10, 2, 7, 6, 9, 5, 4};
  for (const int kurve : folge) {
    SCOPED_TRACE(kurve);
    ASSERT_EQ(TestOperatorSetValue(gPanelHandle, MAINPANEL_STROMKURVE, kurve), 0);
    EXPECT_EQ(gPar[0].stromkurve, kurve);
    EXPECT_EQ(SichtbareSterne(), erwartet[kurve]);
    EXPECT_EQ(Sichtbar(MAINPANEL_TEXTMSG_10), 1);
  }
}

TEST_F(Programmtabelle, EndstufeRegelnMarkiertImmerDieRegelgeschwindigkeit) {
  TestOperatorSetValue(gPanelHandle, MAINPANEL_STROMKURVE, 3);
  EXPECT_EQ(SichtbareSterne()[7], 0);
  TestOperatorSetValue(gPanelHandle, MAINPANEL_ENDSTUFEREGELN, 1);
  EXPECT_EQ(gPar[0].endstuferegeln, 1);
  EXPECT_EQ(SichtbareSterne(), (Sterne{1, 1, 1, 1, 1, 1, 1, 1, 1}));
  TestOperatorSetValue(gPanelHandle, MAINPANEL_ENDSTUFEREGELN, 0);
  EXPECT_EQ(SichtbareSterne(), (Sterne{1, 1, 1, 1, 1, 1, 1, 0, 1}));
}

TEST_F(Programmtabelle, UnbekannteKurveLaesstSterneStehen) {
  // Curve 4 shows every marker; a slot with curve 13 (as a file may bring it)
  // must leave them as they are.
  gPar[2] = gPar[0];
  gPar[2].stromkurve = 4;
  gPar[5] = gPar[0];
  gPar[5].stromkurve = 13;
  gPar[6] = gPar[0];
  gPar[6].stromkurve = 0;
  gPar[6].endstuferegeln = 1;

  TestOperatorSetValue(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, 2);
  EXPECT_EQ(SichtbareSterne(), (Sterne{1, 1, 1, 1, 1, 1, 1, 1, 1}));
  TestOperatorSetValue(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, 5);
  EXPECT_EQ(gParIndex, 5);
  EXPECT_EQ(SichtbareSterne(), (Sterne{1, 1, 1, 1, 1, 1, 1, 1, 1}));

  // From curve 1's markers, curve 0 with output-stage regulation adds only the speed.
  TestOperatorSetValue(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, 0);
  EXPECT_EQ(SichtbareSterne(), (Sterne{0, 0, 0, 0, 1, 1, 0, 0, 1}));
  TestOperatorSetValue(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, 6);
  EXPECT_EQ(SichtbareSterne(), (Sterne{0, 0, 0, 0, 1, 1, 0, 1, 1}));
  EXPECT_EQ(gPar[6].stromkurve, 0);
}

TEST_F(Programmtabelle, UmschaltenSpeichertNichts) {
  TestOperatorSetValue(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, 2);
  TestOperatorSetValue(gPanelHandle, MAINPANEL_STROM1, 2.5);
  ASSERT_EQ(gPar[2].strom1, 2.5);
  const ProgramRecord vorher = gPar[2];

  // A value shown but never committed does not reach the slot.
  SetCtrlVal(gPanelHandle, MAINPANEL_ZEIT1, 4321.0);
  TestOperatorSetValue(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, 5);
  EXPECT_EQ(gParIndex, 5);
  EXPECT_DOUBLE_EQ(Zahl(MAINPANEL_STROM1), 0.1);
  EXPECT_DOUBLE_EQ(Zahl(MAINPANEL_ZEIT1), 1000.0);
  ErwarteStandard(gPar[5]);

  TestOperatorSetValue(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, 2);
  EXPECT_EQ(gParIndex, 2);
  EXPECT_EQ(gPar[2].zeit1, vorher.zeit1);
  EXPECT_EQ(gPar[2].strom1, 2.5);
  EXPECT_DOUBLE_EQ(Zahl(MAINPANEL_STROM1), 2.5);
  EXPECT_DOUBLE_EQ(Zahl(MAINPANEL_ZEIT1), 1000.0);
}

TEST_F(Programmtabelle, EineAenderungSpeichertAlleZehnFelder) {
  TestOperatorSetValue(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, 7);
  // Shown without a commit, then stored by the commit of another field.
  SetCtrlVal(gPanelHandle, MAINPANEL_STROMKURVE, 9);
  SetCtrlVal(gPanelHandle, MAINPANEL_STROM1, 1.25);
  SetCtrlVal(gPanelHandle, MAINPANEL_ZEIT1, 20.0);
  SetCtrlVal(gPanelHandle, MAINPANEL_ZEIT2, 30.0);
  SetCtrlVal(gPanelHandle, MAINPANEL_FREQUENZ, 2500.0);
  SetCtrlVal(gPanelHandle, MAINPANEL_SPANNUNG, 24.5);
  SetCtrlVal(gPanelHandle, MAINPANEL_ZYKLEN, 77.0);
  SetCtrlVal(gPanelHandle, MAINPANEL_REGELGESCHWINDIGKEIT, 250.0);
  SetCtrlVal(gPanelHandle, MAINPANEL_ENDSTUFEREGELN, 1);
  ASSERT_EQ(gPar[7].stromkurve, 1);

  ASSERT_EQ(TestOperatorSetValue(gPanelHandle, MAINPANEL_STROM2, 1.5), 0);
  const ProgramRecord& r = gPar[7];
  EXPECT_EQ(r.stromkurve, 9);
  EXPECT_DOUBLE_EQ(r.strom1, 1.25);
  EXPECT_DOUBLE_EQ(r.strom2, 1.5);
  EXPECT_DOUBLE_EQ(r.zeit1, 20.0);
  EXPECT_DOUBLE_EQ(r.zeit2, 30.0);
  EXPECT_DOUBLE_EQ(r.frequenz, 2500.0);
  EXPECT_DOUBLE_EQ(r.spannung, 24.5);
  EXPECT_DOUBLE_EQ(r.zyklen, 77.0);
  EXPECT_DOUBLE_EQ(r.regelgeschwindigkeit, 250.0);
  EXPECT_EQ(r.endstuferegeln, 1);
  EXPECT_EQ(SichtbareSterne(), (Sterne{1, 1, 0, 0, 1, 1, 0, 1, 1}));
  for (int slot = 0; slot < PROGRAMM_SLOTS; ++slot)
    if (slot != 7) ErwarteStandard(gPar[slot]);
}

TEST_F(Programmtabelle, WerteAusserhalbDesBereichsUeberlebenEineAndereAenderung) {
  gPar[3].stromkurve = 13;
  gPar[3].strom1 = 5.0;
  gPar[3].zeit1 = 70000.0;
  gPar[3].spannung = 0.5;
  gPar[3].endstuferegeln = 0;
  TestOperatorSetValue(gPanelHandle, MAINPANEL_PARAMETERSATZAUSWAHL, 3);
  ASSERT_EQ(gParIndex, 3);

  ASSERT_EQ(TestOperatorSetValue(gPanelHandle, MAINPANEL_STROM2, 2.0), 0);
  EXPECT_EQ(gPar[3].strom2, 2.0);
  EXPECT_EQ(gPar[3].stromkurve, 13);
  EXPECT_EQ(gPar[3].strom1, 5.0);
  EXPECT_EQ(gPar[3].zeit1, 70000.0);
  EXPECT_EQ(gPar[3].spannung, 0.5);
}

}  // namespace
