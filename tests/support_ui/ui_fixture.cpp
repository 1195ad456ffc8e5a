#include "support_ui/ui_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "Com/Com.h"
#include "DateiFunktionen/DateiFunktionen.h"
#include "DateiFunktionen/DateiFunktionen_seam.h"
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232_seam.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_testing.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

namespace uitest {

bool ToolkitStarten() {
  static int gestartet = -1;
  if (gestartet < 0) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static char name[] = "zpk3x-uitest";
    static char* argv[] = {name, nullptr};
    gestartet = InitUserInterface(1, argv) ? 1 : 0;
    if (gestartet) {
      TestAllowUnboundCallbacks(true);
      ZpkFunktionenCallbacksRegistrieren();
      DateiCallbacksRegistrieren();
      ComCallbacksRegistrieren();
    }
  }
  return gestartet == 1;
}

void FensterVerwerfen() {
  // The connection window is a child of the operator window and goes with it.
  if (gPanelHandle >= 0) DiscardPanel(gPanelHandle);
  if (gInfopanelHandle >= 0) DiscardPanel(gInfopanelHandle);
  gPanelHandle = gCompanelHandle = gInfopanelHandle = -1;
}

bool FensterLaden(int sprache) {
  FensterVerwerfen();
  gSprache = sprache;
  gSpracheNeu = sprache;
  OLQ_Fehlersprache(sprache);
  SetUserInterfaceLanguage(sprache);
  const char* datei = sprache == 2 ? "zpk3xSteuerung_en.uir" : "zpk3xSteuerung.uir";
  gPanelHandle = LoadPanel(0, datei, MAINPANEL);
  if (gPanelHandle < 0) return false;
  gCompanelHandle = LoadPanel(gPanelHandle, datei, COMPANEL);
  gInfopanelHandle = LoadPanel(0, datei, INFOPANEL);
  return gCompanelHandle >= 0 && gInfopanelHandle >= 0;
}

void StartzustandHerstellen() {
  ComStrukturInitialisieren();
  offeneBaudrate = 0;
  PaneltitelFestlegen("ZPK-3X Steuerung");
  DateipfadZuruecksetzen();
  ParameterStrukturInitialisieren();
  ComEinstellungenAusStrukturInGui();
  ParameterAusStrukturInGui();
  ParametersterneSetzen();
}

void UiTest::SetUp() {
  ASSERT_TRUE(ToolkitStarten()) << "no window platform";
  altesVerzeichnis_ = std::filesystem::current_path().string();
  char muster[] = "/tmp/zpk3x-uitest-XXXXXX";
  ASSERT_NE(mkdtemp(muster), nullptr);
  tempVerzeichnis_ = muster;
  std::filesystem::current_path(tempVerzeichnis_);
  TestPopupAutomation(true);
  Sprache(1);
}

void UiTest::Verbinden(simtest::Simulator& sim) {
  ASSERT_TRUE(sim.ok());
  sim.mapToCom(1);
  gCom.port = 1;
  ASSERT_EQ(ComPortOeffnen(), 0);
  sim.clearFrames();
}

void UiTest::Sprache(int sprache) {
  // The start state forgets the port; close it first so it can be opened again.
  if (gCom.offenerPort != -1) OLQZPK3X_Close(gCom.offenerPort);
  ASSERT_TRUE(FensterLaden(sprache)) << "windows not loaded";
  StartzustandHerstellen();
  // As at start-up, only the operator window is shown: the operator can reach
  // nothing in a hidden window.
  DisplayPanel(gPanelHandle);
  TestTakePopups();
}

void UiTest::TearDown() {
  if (gCom.offenerPort != -1) OLQZPK3X_Close(gCom.offenerPort);
  ComStrukturInitialisieren();
  offeneBaudrate = 0;
  FensterVerwerfen();
  TestTakePopups();
  Rs232Seam_Reset();
  DateiSeam_Reset();
  OLQ_Fehleruserstring("");
  if (!altesVerzeichnis_.empty()) std::filesystem::current_path(altesVerzeichnis_);
  if (!tempVerzeichnis_.empty()) {
    std::error_code ignoriert;
    std::filesystem::remove_all(tempVerzeichnis_, ignoriert);
  }
}

}  // namespace uitest
