#pragma once
// Start-up, end, menus, language and the device operations of the operator window.
#include "common/ErrorCode.h"

// Window handles, set at start-up.
extern int gPanelHandle;
extern int gCompanelHandle;
extern int gInfopanelHandle;
// Language of this run (1 German, 2 English; fixed for the run) and of the next start.
extern int gSprache;
extern int gSpracheNeu;

// The whole program: start-up, event loop, end. Returns 0 after a normal end,
// -1 when the toolkit cannot start or a panel cannot be loaded. main() calls it.
int Zpk3xMain(int argc, char* argv[]);

// Registers the window callbacks of this module, and of every module of the
// program (the start-up calls the latter before loading the windows).
void SteuerungCallbacksRegistrieren();
void AlleCallbacksRegistrieren();

// ---- start-up and shell ----
// Fixed texts of the windows at start: version and date of the information dialog.
void PanelsInitialisieren(const char* version, const char* datum);

int Callback_Panel_Main(int panel, int event, void* callbackData, int eventData1, int eventData2);
void Callback_Menu_Beenden(int menuBar, int menuItem, void* callbackData, int panel);
void Callback_Menu_Sprache(int menuBar, int menuItem, void* callbackData, int panel);
void Callback_Menu_Info(int menuBar, int menuItem, void* callbackData, int panel);
int Callback_Button_InfoOk(int panel, int control, int event, void* callbackData, int eventData1,
                           int eventData2);

// ---- device operations of the operator window ----
ErrorCode Zpk3ProgrammLaden();
ErrorCode Zpk3ProgrammSpeichern();
ErrorCode Zpk3Starten();
ErrorCode Zpk3Stoppen();
ErrorCode Zpk3FehlerLoeschen();
ErrorCode Zpk3Kalibrieren();
ErrorCode IstwerteAbfragen();
ErrorCode Zpk3ProgrammeLesen();
ErrorCode Zpk3ProgrammeSchreiben();
void StatusinfoPopup();

int Callback_Button_Zpk3Lesen(int panel, int control, int event, void* callbackData, int eventData1,
                              int eventData2);
int Callback_Button_Zpk3Schreiben(int panel, int control, int event, void* callbackData, int eventData1,
                                  int eventData2);
int Callback_Button_ProgrammLaden(int panel, int control, int event, void* callbackData, int eventData1,
                                  int eventData2);
int Callback_Button_ProgrammSpeichern(int panel, int control, int event, void* callbackData,
                                      int eventData1, int eventData2);
int Callback_Button_Zpk3Start(int panel, int control, int event, void* callbackData, int eventData1,
                              int eventData2);
int Callback_Button_Zpk3Stopp(int panel, int control, int event, void* callbackData, int eventData1,
                              int eventData2);
int Callback_Button_Zpk3FehlerLoeschen(int panel, int control, int event, void* callbackData,
                                       int eventData1, int eventData2);
int Callback_Button_Zpk3Kalibrieren(int panel, int control, int event, void* callbackData, int eventData1,
                                    int eventData2);
int Callback_Button_Abfragen(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
int Callback_Button_StatusInfo(int panel, int control, int event, void* callbackData, int eventData1,
                               int eventData2);
int Callback_Toggle_DauerndAbfragen(int panel, int control, int event, void* callbackData, int eventData1,
                                    int eventData2);
int Callback_Timer(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Registers the callbacks of the device operations (part of SteuerungCallbacksRegistrieren).
void GeraetCallbacksRegistrieren();
