#pragma once
// Program tables in named files and the texts that describe them: program and
// field names, ranges, what is wrong with a file and where, and the comparison
// of two tables as the device stores them. Shared by every front end, in the
// error catalogue's language.
#include <string>
#include <vector>

#include "Programmformate/Programmformate.h"
#include "Programmtransfer/Programmtransfer.h"

constexpr ErrorCode DATEI_NICHT_LESBAR = -308305;
constexpr ErrorCode DATEI_LESEFEHLER = -304306;
constexpr ErrorCode DATEI_NICHT_SCHREIBBAR = -301307;

// "working parameters", "program 3".
std::string ProgrammName(int slot);
// Allowed range of a field as the round limits the driver sends.
std::string BereichText(const Programmfeld& feld);
std::string FeldText(const ProgramRecord& rec, const Programmfeld& feld);

// A value as the device receives it: rounded to the decimals it is sent with.
double Gesendet(double wert, int nachkommastellen);
std::string GesendetText(const ProgramRecord& rec, const Programmfeld& feld);

struct Abweichung {
  int slot;
  int feld;  // index into PROGRAMMFELDER
};
// Fields of slots von..bis whose values differ as the device stores them (at the
// decimals each field is sent with), in slot and field order.
std::vector<Abweichung> Abweichungen(const Programmtabelle& a, const Programmtabelle& b, int von, int bis);

// "program 3, strom1 = 12.5; allowed: 0.000 .. 10.000" for a value outside the driver's range.
std::string BereichsfehlerText(int slot, const Programmfeld& feld, const ProgramRecord& rec);
// "\nverify: program 3, strom1: written 1.250, read back 1.200".
std::string NachpruefDetail(int slot, const Programmfeld& feld, const ProgramRecord& geschrieben,
                            const ProgramRecord& gelesen);
// Class "Wrong answer from device": the device keeps another value than it was sent.
constexpr ErrorCode ANDERES_GESPEICHERT = PROGRAMM_ANDERS_GESPEICHERT;
// A value outside the range the driver accepts.
constexpr ErrorCode WERT_AUSSERHALB = -500302;

// A plain sentence for what is wrong with a file's contents; "" when the code says all.
std::string FormatfehlerSatz(const Formatfehler& f, Dateiformat format);
// A message's detail for it: "\nFILE, line L, column C: sentence".
std::string FormatfehlerDetail(const std::string& datei, const Formatfehler& f, const std::string& satz);
// ": larger than the limit for program files, 1 MiB (1048576 bytes)".
std::string ZuGrossText();

std::string TabelleAlsDatei(Dateiformat format, const Programmtabelle& t);

// The whole file into *daten. Codes: DATEI_NICHT_LESBAR (cannot be opened),
// DATEI_LESEFEHLER (failed while reading), FORMAT_AUFBAU (larger than
// FORMAT_GROESSTE_DATEI); *systemfehler gets the errno value where one applies.
ErrorCode DateiRohLesen(const std::string& pfad, std::string* daten, int* systemfehler);
