#pragma once
// Commands that talk to the device: search, identity, status, actual values,
// device functions, program numbers, and reading and writing programs.
#include "zpk3x-cli/Befehle.h"
#include "Programmformate/Programmformate.h"
#include "zpk3x-cli/Verbindung.h"

// Each returns an exit status, having reported any failure.
int Scan(const Optionen& o, Verbindung& v);
int Kennung(const Optionen& o, const Verbindung& v);
int Status(const Optionen& o, const Verbindung& v);
int IstwerteBefehl(const Optionen& o, const Verbindung& v);
int Geraetefunktion(const Optionen& o, const Verbindung& v, const char* funktion);
int ProgrammNummer(const Optionen& o, const Verbindung& v, const char* parameter);
int Lesen(const Optionen& o, Verbindung& v, int von, int bis, Dateiformat format);
int Schreiben(const Optionen& o, Verbindung& v, int von, int bis);
