// Start-up, end, the language switch and the information dialog.
#include "zpk3xSteuerung/zpk3xSteuerung.h"

#include <cstdio>

#include "Com/Com.h"
#include "DateiFunktionen/DateiFunktionen.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "toolkit/toolkit.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xFunktionen/zpk3xFunktionen.h"

namespace {

constexpr const char* kVersion = "V 1.0.2";
constexpr const char* kDatum = "1/2012";
constexpr const char* kPaneltitel = "ZPK-3X Steuerung";

// Discards what start-up had loaded when a later window fails, so that a failed
// start leaves nothing behind.
void GeladenePanelsVerwerfen() {
  if (gInfopanelHandle >= 0) DiscardPanel(gInfopanelHandle);
  if (gPanelHandle >= 0) DiscardPanel(gPanelHandle);  // takes the connection window with it
  gPanelHandle = gCompanelHandle = gInfopanelHandle = -1;
}

// An entry outside its field's range was refused: the error area says which
// values the field takes.
void EingabeAbgelehnt(int, int, const char* erlaubt) {
  char text[160];
  std::snprintf(text, sizeof text,
                gSprache == 2 ? "Entry refused: allowed range %s" : "Eingabe abgelehnt: erlaubter Bereich %s",
                erlaubt);
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERLED, 1);
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERSTRING, text);
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERNUMMER, 0);
}

}  // namespace

void PanelsInitialisieren(const char* version, const char* datum) {
  SetCtrlVal(gCompanelHandle, COMPANEL_SCANTEXT, "");
  SetCtrlVal(gInfopanelHandle, INFOPANEL_VERSION, version);
  SetCtrlVal(gInfopanelHandle, INFOPANEL_DATUM, datum);
  // Each window gets its own task-bar entry; a toolkit that has no such notion
  // for child windows may refuse it, which changes nothing the operator relies on.
  SetPanelAttribute(gPanelHandle, ATTR_HAS_TASKBAR_BUTTON, 1);
  SetPanelAttribute(gCompanelHandle, ATTR_HAS_TASKBAR_BUTTON, 1);
}

int Zpk3xMain(int argc, char* argv[]) {
  if (InitUserInterface(argc, argv) == 0) {
    std::fprintf(stderr, "zpk3x: cannot start the user interface: no display available\n");
    return -1;
  }

  ComStrukturInitialisieren();
  IniLaden();  // missing or bad file: defaults and German stand

  // Callbacks are bound by name while loading, and the toolkit's own texts must
  // follow the language before the first window exists.
  AlleCallbacksRegistrieren();
  SetUserInterfaceLanguage(gSprache);

  const char* uir = gSprache == 2 ? "zpk3xSteuerung_en.uir" : "zpk3xSteuerung.uir";
  gPanelHandle = LoadPanel(0, uir, MAINPANEL);
  if (gPanelHandle < 0) {
    GeladenePanelsVerwerfen();
    return -1;
  }
  gCompanelHandle = LoadPanel(gPanelHandle, uir, COMPANEL);
  if (gCompanelHandle < 0) {
    GeladenePanelsVerwerfen();
    return -1;
  }
  gInfopanelHandle = LoadPanel(0, uir, INFOPANEL);
  if (gInfopanelHandle < 0) {
    GeladenePanelsVerwerfen();
    return -1;
  }
  // This toolkit shows no separate application button, so nothing hides one.

  PaneltitelFestlegen(kPaneltitel);
  DateipfadZuruecksetzen();
  ParameterStrukturInitialisieren();
  PanelsInitialisieren(kVersion, kDatum);

  ComPortOeffnen();  // a port that cannot be opened simply stays closed
  ComEinstellungenAusStrukturInGui();
  ParameterAusStrukturInGui();
  ParametersterneSetzen();

  DisplayPanel(gPanelHandle);
  VerlaufStarten();
  RunUserInterface();

  VerlaufBeenden();
  IniSchreiben();  // a failed write cannot be reported any more
  GeladenePanelsVerwerfen();
  return 0;
}

int Callback_Panel_Main(int, int event, void*, int, int) {
  if (event == EVENT_CLOSE) QuitUserInterface(0);
  return 0;
}

void Callback_Menu_Beenden(int, int, void*, int) { QuitUserInterface(0); }

void Callback_Menu_Sprache(int, int menuItem, void*, int) {
  gSpracheNeu = menuItem == MENUBAR_EINSTELLUNGEN_SPRACHE_EN ? 2 : 1;
  if (gSpracheNeu != gSprache) {
    MessagePopup("Info",
                 "Die Sprache wird nach einem Programmneustart geändert.\n\n"
                 "The language will be changed after restarting the program.");
  }
}

void Callback_Menu_Info(int, int, void*, int) { InstallPopup(gInfopanelHandle); }

int Callback_Button_InfoOk(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) RemovePopup(0);
  return 0;
}

void SteuerungCallbacksRegistrieren() {
  RegisterPanelCallback("Callback_Panel_Main", Callback_Panel_Main);
  RegisterMenuCallback("Callback_Menu_Beenden", Callback_Menu_Beenden);
  RegisterMenuCallback("Callback_Menu_Sprache", Callback_Menu_Sprache);
  RegisterMenuCallback("Callback_Menu_Info", Callback_Menu_Info);
  RegisterCtrlCallback("Callback_Button_InfoOk", Callback_Button_InfoOk);
  InstallRefusedEntryCallback(EingabeAbgelehnt);
  GeraetCallbacksRegistrieren();
}

void AlleCallbacksRegistrieren() {
  SteuerungCallbacksRegistrieren();
  ZpkFunktionenCallbacksRegistrieren();
  DateiCallbacksRegistrieren();
  ComCallbacksRegistrieren();
  VerlaufCallbacksRegistrieren();
}
