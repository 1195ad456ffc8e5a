#pragma once
// The device's programs against a table: write --verify and diff.
#include <vector>

#include "zpk3x-cli/Befehle.h"
#include "Programmformate/Programmdateien.h"
#include "zpk3x-cli/Verbindung.h"

// Reads slots von..bis back from the device and compares them with what was
// written; the first difference is a device error (exit 4). An exit status.
int Nachpruefen(const Optionen& o, Verbindung& v, int von, int bis, const Programmtabelle& geschrieben);

// diff: exit 0 when the device holds what the file holds, 1 when not.
int Vergleichen(const Optionen& o, Verbindung& v, int von, int bis);
