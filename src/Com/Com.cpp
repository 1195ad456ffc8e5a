// Connection settings: choosing port, baud rate and address, connecting and
// disconnecting, reading the identity and searching the device.
#include "Com/Com.h"

#include <cstdio>
#include <string>

#include "Geraetemeldungen/Geraetemeldungen.h"
#include "Programmtransfer/Programmtransfer.h"
#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"
#include "toolkit/toolkit.h"
#include "zpk3xSteuerung/zpk3xSteuerung_ids.h"
#include "zpk3xSteuerung/zpk3xSteuerung.h"

ComSettings gCom = {-1, -1, -1, '1', 9600};
int offeneBaudrate = 0;

namespace {

constexpr ErrorCode kScanOhnePort = -122201;
constexpr ErrorCode kIdOhnePort = -122202;
constexpr double kTimeoutSekunden = 0.5;

constexpr int kFarbeGelb = 0xFFFF00;
constexpr int kFarbeGruen = 0x00FF00;
constexpr int kFarbeRot = 0xFF0000;

// A hang-up closed the port: the next device operation opens it again by itself.
bool gNachTrennungOeffnen = false;

// Why the latest open failed ("tcp://HOST:PORT: Verbindung abgewiesen",
// "/dev/ttyS0: Gerät nicht vorhanden"), for the error area; "" when unknown.
std::string gOeffnungsgrund;
ErrorCode gOeffnungsfehler = 0;

// LED of address '1' + i.
constexpr int kLeds[8] = {COMPANEL_LED1, COMPANEL_LED2, COMPANEL_LED3, COMPANEL_LED4,
                          COMPANEL_LED5, COMPANEL_LED6, COMPANEL_LED7, COMPANEL_LED8};

// The driver fills at most 32 bytes; make sure the text ends inside them.
struct Kennungspuffer {
  char text[32] = {};
  const char* fertig() {
    text[sizeof text - 1] = '\0';
    return text;
  }
};

// Raw TCP: the device server keeps its own rate, and the search asks there only.
const char* FesteRateText() {
  return gSprache == 2 ? "Raw TCP: searched only at the device server's baud rate"
                       : "Rohes TCP: nur mit der Baudrate des Geräteservers gesucht";
}

void SuchtextSetzen(int baudrate) {
  // The baud list shows the rate being tried, not the one chosen before.
  SetCtrlVal(gCompanelHandle, COMPANEL_BAUDRATE, baudrate);
  char text[64];
  std::snprintf(text, sizeof text,
                gSprache == 2 ? "Looking for device with %d Baud ..." : "Suche Gerät mit %d Baud ...", baudrate);
  SetCtrlVal(gCompanelHandle, COMPANEL_SCANTEXT, text);
}

void LedSetzen(int led, int farbe, int an) {
  if (farbe != 0) SetCtrlAttribute(gCompanelHandle, led, ATTR_ON_COLOR, farbe);
  SetCtrlVal(gCompanelHandle, led, an);
}

}  // namespace

void ComStrukturInitialisieren() {
  gCom.offenerPort = -1;
  gCom.port = -1;
  gCom.lport = -1;
  gCom.adresse = '1';
  gCom.baudrate = 9600;
  // The device is talked to on the window's thread: the windows are drawn again
  // when uncovered while a transfer waits for an answer, not only at its next step.
  SetComWaitHook([] { ProcessDrawEvents(); });
}

void ComEinstellungenAusGuiInStruktur() {
  int port = 0;
  if (GetCtrlVal(gCompanelHandle, COMPANEL_PORT, &port) >= 0) gCom.port = port;
  char adresse = 0;
  if (GetCtrlVal(gCompanelHandle, COMPANEL_ADRESSE, &adresse) >= 0) gCom.adresse = adresse;
  int baudrate = 0;
  if (GetCtrlVal(gCompanelHandle, COMPANEL_BAUDRATE, &baudrate) >= 0) gCom.baudrate = baudrate;
}

void ComEinstellungenAusStrukturInGui() {
  // The ring shows the port that is really open, not the one chosen.
  SetCtrlVal(gCompanelHandle, COMPANEL_PORT, gCom.offenerPort);
  SetCtrlVal(gCompanelHandle, COMPANEL_ADRESSE, gCom.adresse);
  SetCtrlVal(gCompanelHandle, COMPANEL_BAUDRATE, gCom.baudrate);
  SetCtrlVal(gPanelHandle, MAINPANEL_COMPICTURERING, gCom.offenerPort);
}

ErrorCode ComPortOeffnen() {
  gNachTrennungOeffnen = false;  // the operator's choice (or the search's) now decides
  if (gCom.port == gCom.offenerPort && gCom.baudrate == offeneBaudrate) return 0;
  if (gCom.offenerPort != -1) {
    gCom.lport = gCom.offenerPort;
    OLQZPK3X_Close(gCom.offenerPort);
    gCom.offenerPort = -1;
  }
  if (gCom.port == -1) return 0;

  const ErrorCode fehler = OLQZPK3X_Open(gCom.port, gCom.baudrate);
  gOeffnungsfehler = fehler;
  gOeffnungsgrund.clear();
  if (fehler != 0) {
    // In the words the command line uses for the same refusal, in the window's language.
    Portfehler grund;
    OeffnungsfehlerBeschreiben(gCom.port, "", &grund);
    if (!grund.grund.empty()) gOeffnungsgrund = (grund.pfad.empty() ? "" : grund.pfad + ": ") + grund.grund;
  }
  if (fehler != 0) {
    gCom.offenerPort = -1;
    return fehler;
  }
  gCom.offenerPort = gCom.port;
  offeneBaudrate = gCom.baudrate;
  OLQZPK3X_Timeout(gCom.offenerPort, kTimeoutSekunden);
  return 0;
}

void ComLeitungGetrennt() {
  if (gCom.offenerPort == -1) return;
  gCom.lport = gCom.offenerPort;
  OLQZPK3X_Close(gCom.offenerPort);  // the device is gone: a failed close changes nothing
  gCom.offenerPort = -1;
  gNachTrennungOeffnen = true;
  ComEinstellungenAusStrukturInGui();
}

bool ComLeitungVerloren() { return gCom.offenerPort != -1 && ComLineLost(gCom.offenerPort) != 0; }

std::string ComOeffnungsgrund(ErrorCode code) { return code != 0 && code == gOeffnungsfehler ? gOeffnungsgrund : ""; }

ErrorCode ComPortFuerGeraet(ErrorCode keinPort) {
  // A line that hung up while nobody used it (a device restarted, a server that
  // closed the connection) is seen before anything is sent: it is opened again
  // below, so that a device that is back simply answers.
  if (ComLeitungVerloren()) ComLeitungGetrennt();
  if (gCom.offenerPort != -1) return 0;
  if (!gNachTrennungOeffnen) return keinPort;
  gCom.port = gCom.lport;
  const ErrorCode fehler = ComPortOeffnen();  // once: it clears the request
  ComEinstellungenAusStrukturInGui();
  return fehler;
}

ErrorCode IDLesen() {
  if (ErrorCode fehler = ComPortFuerGeraet(kIdOhnePort); fehler != 0) return fehler;
  SetCtrlVal(gCompanelHandle, COMPANEL_IDSTRING, "");
  Kennungspuffer kennung;
  const ErrorCode fehler = OLQZPK3X_IDLesen(gCom.offenerPort, gCom.adresse, kennung.text);
  if (fehler != 0) return fehler;
  SetCtrlVal(gCompanelHandle, COMPANEL_IDSTRING, kennung.fertig());
  return 0;
}

namespace {

// The search's hooks: each rate reopens the port through the window's own
// routine, each address shows its lamp and the rate in the search text.
struct Scan {
  int gemerkteBaudrate;
};

ErrorCode ScanOeffnen(int baudrate, void* kontext) {
  gCom.baudrate = baudrate;
  gCom.port = gCom.offenerPort;
  const ErrorCode fehler = ComPortOeffnen();
  // The search text stays: it tells the operator at which rate the search stopped.
  if (fehler != 0) gCom.baudrate = static_cast<Scan*>(kontext)->gemerkteBaudrate;
  return fehler;
}

void ScanProbe(Suchschritt schritt, int baudrate, char adresse, const char* kennung, bool zpk3x, void*) {
  const int led = kLeds[adresse - '1'];
  if (schritt == Suchschritt::Vorher) {
    SuchtextSetzen(baudrate);
    LedSetzen(led, kFarbeGelb, 1);
  } else if (schritt == Suchschritt::KeineAntwort) {
    LedSetzen(led, 0, 0);
  } else if (zpk3x) {
    LedSetzen(led, kFarbeGruen, 1);
    gCom.adresse = adresse;
    gCom.baudrate = baudrate;
    SetCtrlVal(gCompanelHandle, COMPANEL_IDSTRING, kennung);
  } else {
    LedSetzen(led, kFarbeRot, 1);
  }
}

}  // namespace

ErrorCode Zpk3Scan() {
  Scan scan{gCom.baudrate};
  if (ErrorCode fehler = ComPortFuerGeraet(kScanOhnePort); fehler != 0) return fehler;
  SetCtrlVal(gCompanelHandle, COMPANEL_IDSTRING, "");
  // The port keeps its number while the rate changes; the hooks record the hit.
  Suchergebnis ergebnis{};
  if (ErrorCode fehler = GeraetSuchen(gCom.offenerPort, ScanOeffnen, ScanProbe, &scan, &ergebnis); fehler != 0)
    return fehler;
  SetCtrlVal(gCompanelHandle, COMPANEL_SCANTEXT, ComFixedRate(gCom.offenerPort) != 0 ? FesteRateText() : "");
  return 0;
}

void Callback_Menu_ComEinstellung(int, int, void*, int) { DisplayPanel(gCompanelHandle); }

int Callback_Button_CompanelSchliessen(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) HidePanel(gCompanelHandle);
  return 0;
}

int Callback_Multi_ComEinstellungen(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) {
    ComEinstellungenAusGuiInStruktur();
    ComFehlerSetzen(ComPortOeffnen());
    ComEinstellungenAusStrukturInGui();
  }
  return 0;
}

int Callback_Button_Scan(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) {
    ComFehlerSetzen(0);
    ComFehlerSetzen(Zpk3Scan());
    ComEinstellungenAusStrukturInGui();
  }
  return 0;
}

int Callback_Button_IdLesen(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) ComFehlerSetzen(IDLesen());
  return 0;
}

int Callback_Ring_ComPicture(int, int, int event, void*, int eventData1, int) {
  const bool taste = event == EVENT_KEYPRESS && (eventData1 == VAL_ENTER_VKEY || eventData1 == VAL_SPACE_KEY);
  if (event != EVENT_LEFT_CLICK && !taste) return 0;
  // Closed: the port open before; never open yet, the port chosen (that could
  // not be opened), so the click says why again.
  gCom.port = gCom.offenerPort != -1 ? -1 : (gCom.lport != -1 ? gCom.lport : gCom.port);
  ComFehlerSetzen(ComPortOeffnen());
  ComEinstellungenAusStrukturInGui();
  return 0;
}

void ComCallbacksRegistrieren() {
  RegisterMenuCallback("Callback_Menu_ComEinstellung", Callback_Menu_ComEinstellung);
  RegisterCtrlCallback("Callback_Button_CompanelSchliessen", Callback_Button_CompanelSchliessen);
  RegisterCtrlCallback("Callback_Multi_ComEinstellungen", Callback_Multi_ComEinstellungen);
  RegisterCtrlCallback("Callback_Button_Scan", Callback_Button_Scan);
  RegisterCtrlCallback("Callback_Button_IdLesen", Callback_Button_IdLesen);
  RegisterCtrlCallback("Callback_Ring_ComPicture", Callback_Ring_ComPicture);
}
