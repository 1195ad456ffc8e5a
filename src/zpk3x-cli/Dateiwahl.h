#pragma once
// Which file a command means: "-" for standard input or output, and the format
// from --format over the file name's extension.
#include <cstddef>
#include <string>

#include "zpk3x-cli/Befehle.h"
#include "Programmformate/Programmformate.h"

constexpr const char* kStrom = "-";
inline bool IstStrom(const std::string& pfad) { return pfad == kStrom; }

// --format applies to the command's file; with convert to a "-" side, else to OUT.
// Reports a file whose format is neither given nor known; an exit status.
int FormatBestimmen(const Optionen& o, const std::string& pfad, Dateiformat* format);

// All of standard input, stopping after `grenze` + 1 bytes; false on a read error.
bool StandardeingabeLesen(std::string* daten, std::size_t grenze);
// The whole text on standard output; false when it could not be written.
bool StandardausgabeSchreiben(const std::string& daten);
