#pragma once
// The device's programs against a table: write --verify and diff.
#include <vector>

#include "zpk3x-cli/Befehle.h"
#include "Programmformate/Programmformate.h"
#include "zpk3x-cli/Verbindung.h"

struct Abweichung {
  int slot;
  int feld;  // index into PROGRAMMFELDER
};

// A value as the device receives it: rounded to the decimals it is sent with.
double Gesendet(double wert, int nachkommastellen);

// Fields of slots von..bis whose values differ as the device stores them (at the
// decimals each field is sent with), in slot and field order.
std::vector<Abweichung> Abweichungen(const Programmtabelle& a, const Programmtabelle& b, int von, int bis);

// Reads slots von..bis back from the device and compares them with what was
// written; the first difference is a device error (exit 4). An exit status.
int Nachpruefen(const Optionen& o, Verbindung& v, int von, int bis, const Programmtabelle& geschrieben);

// diff: exit 0 when the device holds what the file holds, 1 when not.
int Vergleichen(const Optionen& o, Verbindung& v, int von, int bis);
