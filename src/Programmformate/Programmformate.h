#pragma once
// The program table in files: the binary program file (*.zpk), JSON and CSV.
// Text formats hold all 17 slots and the selection under the field names of the
// program table; numbers are the shortest text that reads back to the same double,
// with "inf" and "-inf" for the infinities and "nan" for the values that are no
// numbers. A NaN keeps all its bits: "nan" is the quiet NaN 0x7FF8000000000000,
// "-nan" the same with the sign bit (the processor's default NaN), and any other
// NaN is written "nan(0xF)" or "-nan(0xF)", F the 52 bits of its fraction in hex
// ("-nan(0x8000000000001)" is 0xFFF8000000000001).
#include <cstdint>
#include <string>

#include "common/ErrorCode.h"
#include "common/ProgramRecord.h"

constexpr std::uint32_t ALLE_SLOTS = (1u << PROGRAMM_SLOTS) - 1;

// `vorhanden` has bit n set for each slot n the table really holds: a table read
// from part of the device, or a text file that leaves slots out (a JSON null or
// no CSV line), lacks the others. JSON writes a missing slot as null and CSV
// leaves its line out; the program file always holds 17 slots, a missing one at
// the defaults.
struct Programmtabelle {
  ProgramRecord slots[PROGRAMM_SLOTS];
  int auswahl;  // selected slot, 0..16
  std::uint32_t vorhanden = ALLE_SLOTS;
};

inline bool SlotVorhanden(const Programmtabelle& t, int slot) {
  return slot >= 0 && slot < PROGRAMM_SLOTS && ((t.vorhanden >> slot) & 1u) != 0;
}

// Every slot at its default, slot 0 selected.
Programmtabelle StandardTabelle();

enum class Dateiformat { Zpk, Csv, Json, Unbekannt };
// By the file name's extension, in any case: .zpk, .csv, .json.
Dateiformat FormatAusName(const std::string& pfad);

std::string TabelleAlsZpk(const Programmtabelle& t);
std::string TabelleAlsJson(const Programmtabelle& t);
std::string TabelleAlsCsv(const Programmtabelle& t);

// What is wrong with a file's contents.
enum class Fehlerart {
  Aufbau,         // not a program table (a key or header of another kind)
  Syntax,         // not JSON or CSV at all: zeile and spalte say where
  FeldFehlt,      // slot, feld
  FeldUnbekannt,  // text: the key; slot -1 at the top level
  FeldDoppelt,    // text: the key; slot -1 at the top level
  SlotFehlt,      // slot
  SlotDoppelt,    // slot
  SlotUngueltig,  // text: what stood for the slot number
  SlotStelle,     // a JSON program in another slot's place: slot the one it names, text the place's slot
  Wert,           // slot, feld (-1: the selection), text: the value found
  Spaltenzahl,    // a CSV line with another number of fields: text the count found
  Dialekt,        // a CSV field of the other dialect (a point as decimal mark with semicolons,
                  // a semicolon among commas): text the field
  ZuVieleSlots,   // text: the number of programs found
  Auswahl,        // not exactly one slot selected in CSV: text the count found
  Programmdatei,  // the binary program file: code says what; text the length or version
};

// Where a file's contents went wrong. `slot` and `feld` (index into
// PROGRAMMFELDER) are -1 when the fault is not tied to them; `zeile` and
// `spalte` (from 1) are 0 where no place in the text applies.
struct Formatfehler {
  ErrorCode code;
  Fehlerart art;
  int slot;
  int feld;
  std::string text;
  int zeile;
  int spalte;
};

// Decodes a whole file of the given format. On failure *tabelle is unchanged.
// Codes: PROGRAMMDATEI_* for the program file; FORMAT_AUFBAU when the text's
// structure is not a program table; FORMAT_WERT when a field holds no value of
// its kind (a fault of the data, not of the file).
ErrorCode TabelleLesen(Dateiformat format, const std::string& daten, Programmtabelle* tabelle,
                       Formatfehler* fehler);

constexpr ErrorCode FORMAT_AUFBAU = -312304;
constexpr ErrorCode FORMAT_WERT = -505303;
// Longest file accepted, 1 MiB: far beyond any table (a JSON table has some
// 10 kB), short of exhausting memory.
constexpr std::size_t FORMAT_GROESSTE_DATEI = 1 << 20;

// Shortest text that reads back to the same double; "inf", "-inf", and the NaN
// spellings above.
std::string ZahlText(double wert);
// A CSV field, quoted when it holds a separator, quote, line break or edge blank.
std::string CsvFeld(const std::string& text);
