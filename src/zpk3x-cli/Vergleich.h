#pragma once
// The device's programs against a table: write with its read-back, read and
// diff, each keeping the device's working parameters as they were found.
#include <string>

#include "Programmformate/Programmdateien.h"
#include "zpk3x-cli/Befehle.h"
#include "zpk3x-cli/Verbindung.h"

// Writes slots von..bis of `t` and, with o.pruefen, reads them back and compares:
// the first difference is a device error (exit 4). An exit status, having
// reported a failure.
int SchreibenUndPruefen(const Optionen& o, Verbindung& v, int von, int bis, const Programmtabelle& t);

// Reads slots von..bis into *t, keeping the working parameters; an exit status,
// having reported a failure (`was` names the progress).
int VomGeraetLesen(const Optionen& o, Verbindung& v, int von, int bis, Programmtabelle* t, const char* was);

// diff: exit 0 when the device holds what the file holds, 1 when not.
int Vergleichen(const Optionen& o, Verbindung& v, int von, int bis);
