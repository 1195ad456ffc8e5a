#pragma once
// Connection settings, connecting, identity, device search and the error area.
#include <string>

#include "common/ErrorCode.h"

struct ComSettings {
  int offenerPort;   // port open now, 1..8, -1 none
  int port;          // port chosen, -1 none
  int lport;         // port open before the latest close, -1 none
  char adresse;      // '1'..'8' or '&'
  int baudrate;      // 1200, 2400, 4800, 9600
};

extern ComSettings gCom;
extern int offeneBaudrate;

void ComStrukturInitialisieren();
void ComEinstellungenAusGuiInStruktur();
void ComEinstellungenAusStrukturInGui();
ErrorCode ComPortOeffnen();
// Why the latest open of a port failed with `code`: the device and the cause in
// the run's language ("tcp://HOST:PORT: Verbindung abgewiesen"), as the command
// line gives it; "" where unknown, and for any other code.
std::string ComOeffnungsgrund(ErrorCode code);
// For an operation that needs the device: 0 when a port is open. A port whose
// line has hung up (seen before anything is sent) or that a hang-up closed is
// opened again here, once (its failure is returned); otherwise `keinPort` when
// none is open.
ErrorCode ComPortFuerGeraet(ErrorCode keinPort);
// Whether the open port's line has hung up, seen without sending anything.
bool ComLeitungVerloren();
// The open port hung up: closes it at once, shows it closed, and lets the next
// ComPortFuerGeraet open it again.
void ComLeitungGetrennt();
ErrorCode IDLesen();
ErrorCode Zpk3Scan();

// Error area of the operator window: 0 clears it.
void ComFehlerSetzen(ErrorCode code);

void Callback_Menu_ComEinstellung(int menuBar, int menuItem, void* callbackData, int panel);
int Callback_Button_CompanelSchliessen(int panel, int control, int event, void* callbackData,
                                       int eventData1, int eventData2);
int Callback_Multi_ComEinstellungen(int panel, int control, int event, void* callbackData, int eventData1,
                                    int eventData2);
int Callback_Button_Scan(int panel, int control, int event, void* callbackData, int eventData1,
                         int eventData2);
int Callback_Button_IdLesen(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
int Callback_Ring_ComPicture(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);

void ComCallbacksRegistrieren();
