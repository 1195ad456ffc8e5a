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
