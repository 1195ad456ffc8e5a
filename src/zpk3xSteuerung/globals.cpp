#include "zpk3xSteuerung/zpk3xSteuerung.h"

int gPanelHandle = -1;
int gCompanelHandle = -1;
int gInfopanelHandle = -1;
int gSprache = 1;
int gSpracheNeu = 1;
