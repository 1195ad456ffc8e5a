#pragma once
// The test plan window of the operator program: a plan chosen, the serial number
// typed or scanned, the plan run on the device with the trend showing its limit
// bands, the verdict large, and the record filed below the records' folder.
#include <string>

extern int gPruefPanelHandle;  // -1 until the window is first opened
// The records' folder: key "protokollordner" of section [ZPK3X] in
// zpk3xSteuerung.ini, else this default (relative: below the working directory).
extern std::string gProtokollordner;
constexpr const char* PROTOKOLLORDNER_STANDARD = "Pruefprotokolle";

void PruefplanCallbacksRegistrieren();
// Opens (or raises) the window.
int PruefplanOeffnen();
// Whether a run is going on now.
bool PruefplanLaeuft();
// The operator window is being closed: during a run, the run ends ABORTED (the
// device stopped, the record filed) and then the program; true when one ran.
bool PruefplanBeimSchliessenAbbrechen();
// At the end: discards the window.
void PruefplanBeenden();

void Callback_Menu_Pruefplan(int menuBar, int menuItem, void* callbackData, int panel);
int Callback_Panel_Pruefplan(int panel, int event, void* callbackData, int eventData1, int eventData2);
int Callback_Button_PruefplanWaehlen(int panel, int control, int event, void* callbackData, int eventData1,
                                     int eventData2);
int Callback_String_PruefplanSeriennummer(int panel, int control, int event, void* callbackData, int eventData1,
                                          int eventData2);
int Callback_Button_PruefplanStarten(int panel, int control, int event, void* callbackData, int eventData1,
                                     int eventData2);
