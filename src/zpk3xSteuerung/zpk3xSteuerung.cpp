// Start-up, end, the language switch and the information dialog.
#include "zpk3xSteuerung/zpk3xSteuerung.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Com/Com.h"
#include "DateiFunktionen/DateiFunktionen.h"
#include "zpk3xSteuerung/PruefplanFenster.h"
#include "zpk3xSteuerung/VerlaufFenster.h"
#include "zpk3xSteuerung/Veroeffentlichung.h"
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

// The refusal the error area shows, empty when it shows none.
std::string gAblehnung;

// Why an entry was refused, in the language of the run.
std::string Ablehnungsgrund(int grund, const char* erlaubt, int nachkommastellen) {
  const bool en = gSprache == 2;
  char text[200];
  switch (grund) {
    case ENTRY_NOT_WHOLE:
      std::snprintf(text, sizeof text, en ? "digits only (whole number), range %s" : "nur Ziffern (ganze Zahl), Bereich %s",
                    erlaubt);
      break;
    case ENTRY_NOT_NUMBER:
      std::snprintf(text, sizeof text,
                    en ? "one number with at most one decimal point expected, range %s"
                       : "eine Zahl mit höchstens einem Komma oder Punkt erwartet, Bereich %s",
                    erlaubt);
      break;
    case ENTRY_TOO_MANY_DECIMALS:
      std::snprintf(text, sizeof text,
                    en ? "at most %d decimal%s, range %s" : "höchstens %d Nachkommastelle%s, Bereich %s",
                    nachkommastellen, nachkommastellen == 1 ? "" : (en ? "s" : "n"), erlaubt);
      break;
    default:
      std::snprintf(text, sizeof text, en ? "allowed range %s" : "erlaubter Bereich %s", erlaubt);
      break;
  }
  return text;
}

// The fields whose entry was refused and that still show it.
struct Feld {
  int panel;
  int control;
  bool operator==(const Feld&) const = default;
};
std::vector<Feld> gAbgelehnteFelder;

void FeldmarkeLoeschen(const Feld& f) {
  SetCtrlAttribute(f.panel, f.control, ATTR_REFUSED_TEXT, "");
  std::erase(gAbgelehnteFelder, f);
}

// Commands that read or write the parameter table (controls of the operator
// window and items of its menu, which share numbers): after them the refusal at
// a field no longer tells what the table holds.
bool NutztTabelle(int control) {
  switch (control) {
    case MAINPANEL_PARAMETERSATZAUSWAHL:
    case MAINPANEL_ZPK3LESEN:        // also MENUBAR_MENU_NEU
    case MAINPANEL_ZPK3SCHREIBEN:    // also MENUBAR_MENU_OEFFNEN
    case MENUBAR_MENU_SPEICHERN:
    case MENUBAR_MENU_SPEICHERNUNTER:
      return true;
    default:
      return false;
  }
}

// An entry was refused: the error area names the field by its label and says
// which entries it takes; the field itself shows it too, since the continuous
// query clears the error area at its next answer.
void EingabeAbgelehnt(int panel, int control, int grund, const char* erlaubt, int nachkommastellen) {
  std::string feld;
  GetCtrlAttribute(panel, control, ATTR_LABEL_TEXT, &feld);
  std::string text = feld.empty() ? std::string() : feld + ": ";
  text += gSprache == 2 ? "Entry refused: " : "Eingabe abgelehnt: ";
  text += Ablehnungsgrund(grund, erlaubt, nachkommastellen);
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERLED, 1);
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERSTRING, text.c_str());
  SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERNUMMER, 0);
  gAblehnung = text;
  SetCtrlAttribute(panel, control, ATTR_REFUSED_TEXT, text.c_str());
  if (std::find(gAbgelehnteFelder.begin(), gAbgelehnteFelder.end(), Feld{panel, control}) == gAbgelehnteFelder.end())
    gAbgelehnteFelder.push_back(Feld{panel, control});
}

// The next accepted entry or command ends a refusal's message; what a device
// operation showed since then is its own and stays. The field's mark stays until
// an entry in it is accepted or a command uses the table.
void BedienerHandelt(int panel, int control) {
  if (panel == gPanelHandle && NutztTabelle(control)) {
    while (!gAbgelehnteFelder.empty()) FeldmarkeLoeschen(gAbgelehnteFelder.back());
  } else if (std::find(gAbgelehnteFelder.begin(), gAbgelehnteFelder.end(), Feld{panel, control}) !=
             gAbgelehnteFelder.end()) {
    FeldmarkeLoeschen(Feld{panel, control});  // an entry in it was accepted
  }
  if (gAblehnung.empty()) return;
  std::string gezeigt;
  GetCtrlString(gPanelHandle, MAINPANEL_FEHLERSTRING, &gezeigt);
  int nummer = 0;
  GetCtrlVal(gPanelHandle, MAINPANEL_FEHLERNUMMER, &nummer);
  if (gezeigt == gAblehnung && nummer == 0) {
    SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERLED, 0);
    SetCtrlVal(gPanelHandle, MAINPANEL_FEHLERSTRING, "");
  }
  gAblehnung.clear();
}

// The language submenu marks the language chosen: that of this run until the
// operator picks the other one for the next start.
void SpracheMarkieren() {
  const int leiste = GetPanelMenuBar(gPanelHandle);
  SetMenuBarAttribute(leiste, MENUBAR_EINSTELLUNGEN_SPRACHE_DE, ATTR_CHECKED, gSpracheNeu != 2 ? 1 : 0);
  SetMenuBarAttribute(leiste, MENUBAR_EINSTELLUNGEN_SPRACHE_EN, ATTR_CHECKED, gSpracheNeu == 2 ? 1 : 0);
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
  SpracheMarkieren();
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

  // A port that cannot be opened stays closed, and the error area says why from
  // the start: the operator would otherwise first learn it from a failed command.
  if (const ErrorCode fehler = ComPortOeffnen(); fehler != 0) ComFehlerSetzen(fehler);
  ComEinstellungenAusStrukturInGui();
  ParameterAusStrukturInGui();
  ParametersterneSetzen();

  DisplayPanel(gPanelHandle);
  VerlaufStarten();
  VeroeffentlichungStarten();
  RunUserInterface();

  VeroeffentlichungBeenden();
  PruefplanBeenden();
  VerlaufBeenden();
  IniSchreiben();  // a failed write cannot be reported any more
  GeladenePanelsVerwerfen();
  return 0;
}

int Callback_Panel_Main(int, int event, void*, int, int) {
  // During a test plan's run the run ends first, with the device stopped.
  if (event == EVENT_CLOSE && !PruefplanBeimSchliessenAbbrechen()) QuitUserInterface(0);
  return 0;
}

void Callback_Menu_Beenden(int, int, void*, int) { QuitUserInterface(0); }

void Callback_Menu_Sprache(int, int menuItem, void*, int) {
  gSpracheNeu = menuItem == MENUBAR_EINSTELLUNGEN_SPRACHE_EN ? 2 : 1;
  SpracheMarkieren();
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
  InstallOperatorActionCallback(BedienerHandelt);
  GeraetCallbacksRegistrieren();
  PruefplanCallbacksRegistrieren();
}

void AlleCallbacksRegistrieren() {
  SteuerungCallbacksRegistrieren();
  ZpkFunktionenCallbacksRegistrieren();
  DateiCallbacksRegistrieren();
  ComCallbacksRegistrieren();
  VerlaufCallbacksRegistrieren();
}
