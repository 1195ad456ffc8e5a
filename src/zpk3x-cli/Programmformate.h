#pragma once
// The program table in files: the binary program file (*.zpk), JSON and CSV.
// Text formats hold all 17 slots and the selection under the field names of the
// program table; numbers are the shortest text that reads back to the same double,
// with "nan", "inf" and "-inf" for the values that are no numbers.
#include <string>

#include "common/ErrorCode.h"
#include "common/ProgramRecord.h"

struct Programmtabelle {
  ProgramRecord slots[PROGRAMM_SLOTS];
  int auswahl;  // selected slot, 0..16
};

// Every slot at its default, slot 0 selected.
Programmtabelle StandardTabelle();

enum class Dateiformat { Zpk, Csv, Json, Unbekannt };
// By the file name's extension, in any case: .zpk, .csv, .json.
Dateiformat FormatAusName(const std::string& pfad);

std::string TabelleAlsZpk(const Programmtabelle& t);
std::string TabelleAlsJson(const Programmtabelle& t);
std::string TabelleAlsCsv(const Programmtabelle& t);

// Where a file's contents went wrong. `slot` and `feld` (index into
// PROGRAMMFELDER) are -1 when the fault is not tied to them; `text` quotes the
// offending key or value, or holds the version found in a program file.
struct Formatfehler {
  ErrorCode code;
  int slot;
  int feld;
  std::string text;
};

// Decodes a whole file of the given format. On failure *tabelle is unchanged.
// Codes: PROGRAMMDATEI_* for the program file; FORMAT_AUFBAU when the text's
// structure is not a program table; FORMAT_WERT when a field holds no value of
// its kind (a fault of the data, not of the file).
ErrorCode TabelleLesen(Dateiformat format, const std::string& daten, Programmtabelle* tabelle,
                       Formatfehler* fehler);

constexpr ErrorCode FORMAT_AUFBAU = -312304;
constexpr ErrorCode FORMAT_WERT = -505303;
// Longest file accepted: far beyond any table, short of exhausting memory.
constexpr std::size_t FORMAT_GROESSTE_DATEI = 1 << 20;

// Shortest text that reads back to the same double; "nan", "inf", "-inf".
std::string ZahlText(double wert);
// A CSV field, quoted when it holds a separator, quote, line break or edge blank.
std::string CsvFeld(const std::string& text);
