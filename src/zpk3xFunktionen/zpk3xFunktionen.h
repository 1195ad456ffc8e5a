#pragma once
// Program table and its transfer to and from the window; configuration file.
#include "common/ErrorCode.h"
#include "common/ProgramRecord.h"

extern ProgramRecord gPar[PROGRAMM_SLOTS];
extern int gParIndex;                    // slot shown in the window, 0..16

void ParameterStrukturInitialisieren();
void ParameterAusStrukturInGui();
void ParameterAusGuiInStruktur();
void ParametersatzUmschalten();
void ParametersterneSetzen();

int Callback_Ring_Parametersatz(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
int Callback_Multi_Parameter(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);

// Configuration file "zpk3xSteuerung.ini" in the working directory.
ErrorCode IniLaden();
ErrorCode IniSchreiben();

// Registers this module's window callbacks with the toolkit.
void ZpkFunktionenCallbacksRegistrieren();
