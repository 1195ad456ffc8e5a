#pragma once
// Program files on the command line: reading, writing, showing and converting
// program tables, and the texts that name programs and fields.
#include <string>

#include "Programmtransfer/Programmtransfer.h"
#include "zpk3x-cli/Befehle.h"
#include "Programmformate/Programmdateien.h"
#include "Programmformate/Programmformate.h"

// A message's detail for a file that cannot be read or written: its name and the
// system's reason (an errno value; 0 when none is known).
std::string DateiUndGrund(const std::string& pfad, int systemfehler);
// Reports such a failure: the detail above, and in JSON `path` and `reason`.
int DateifehlerMelden(const Optionen& o, ErrorCode code, const std::string& pfad, int systemfehler);
std::string TabellenText(const Programmtabelle& t, int von, int bis, bool auswahlZeigen);

// Each returns an exit status, having reported any failure.
int DateiLesen(const Optionen& o, const std::string& pfad, Programmtabelle* t);
int ZielformatPruefen(const Optionen& o, const std::string& pfad, Dateiformat* format);
// The folder must exist before the device is asked, so a typo costs no transfer.
int ZielordnerPruefen(const Optionen& o, const std::string& pfad);
int DateiSchreiben(const Optionen& o, const std::string& pfad, Dateiformat format, const Programmtabelle& t);

// The slots von..bis must be in the table read from `pfad` (a text file may
// leave slots out): an exit status, having reported the first one missing.
int SlotsPruefen(const Optionen& o, const std::string& pfad, const Programmtabelle& t, int von, int bis);

int Zeigen(const Optionen& o);
int Umwandeln(const Optionen& o);
