#pragma once
// The trend window of the operator program: actual current and voltage of every
// query over time, the status changes, recording to CSV, a picture of the plot.
// Its settings live in their own file, zpk3xVerlauf.ini, written only once the
// window has been used.
#include <cstdint>

#include "Verlauf/VerlaufDaten.h"
#include "common/ErrorCode.h"

extern int gVerlaufPanelHandle;  // -1 until the window is first opened

void VerlaufCallbacksRegistrieren();
// After start-up: reads zpk3xVerlauf.ini and opens the window again if it was
// open at the last end.
void VerlaufStarten();
// At the end: ends a recording, writes zpk3xVerlauf.ini if the window was used,
// discards the window.
void VerlaufBeenden();
// One actual-value query's result: `fehler` 0 with the three values, or the
// failure code. Called for every click on the query button and every tick.
void VerlaufAbfrage(ErrorCode fehler, double strom, double spannung, int status);
// Opens (or raises) the trend window.
ErrorCode VerlaufOeffnen();

// Limit bands shown under the curves (a test plan's run); count 0 removes them.
struct GraphBand;
void VerlaufBaenderSetzen(const GraphBand* baender, int anzahl);

// What is kept, for tests and the benchmarks.
const VerlaufSpeicher& VerlaufDatenLesen();
// Replaces the clock of the samples (milliseconds since 1970); null: the real one.
void VerlaufUhrSetzen(std::int64_t (*uhr)());
// Draws the window's plot now (it is drawn after every query anyway).
void VerlaufNeuzeichnen();

void Callback_Menu_Verlauf(int menuBar, int menuItem, void* callbackData, int panel);
int Callback_Button_Verlauf(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int Callback_Panel_Verlauf(int panel, int event, void* callbackData, int eventData1, int eventData2);
int Callback_Ring_VerlaufZeitfenster(int panel, int control, int event, void* callbackData, int eventData1,
                                     int eventData2);
int Callback_Toggle_VerlaufFolgen(int panel, int control, int event, void* callbackData, int eventData1,
                                  int eventData2);
int Callback_Button_VerlaufLeeren(int panel, int control, int event, void* callbackData, int eventData1,
                                  int eventData2);
int Callback_Button_VerlaufBild(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
int Callback_Button_VerlaufAufzeichnen(int panel, int control, int event, void* callbackData, int eventData1,
                                       int eventData2);
int Callback_Button_VerlaufAufzeichnungStopp(int panel, int control, int event, void* callbackData,
                                             int eventData1, int eventData2);
int Callback_Graph_Verlauf(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
