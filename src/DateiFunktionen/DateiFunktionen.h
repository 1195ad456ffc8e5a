#pragma once
// Program files (*.zpk), the current file path and the window title.
#include "common/ErrorCode.h"

void PaneltitelFestlegen(const char* titel);
void DateipfadZuruecksetzen();
void PaneltitelAktualisieren();
ErrorCode DateiSpeichern(int speichernUnter);
ErrorCode DateiOeffnen();

void Callback_Menu_Neu(int menuBar, int menuItem, void* callbackData, int panel);
void Callback_Menu_Oeffnen(int menuBar, int menuItem, void* callbackData, int panel);
void Callback_Menu_Speichern(int menuBar, int menuItem, void* callbackData, int panel);
void Callback_Menu_SpeichernUnter(int menuBar, int menuItem, void* callbackData, int panel);

void DateiCallbacksRegistrieren();
