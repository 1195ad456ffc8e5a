#pragma once
// Output of zpk3x-cli: results on stdout as text or JSON, failures on stderr,
// progress on a terminal only.
#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "Programmtransfer/Programmtransfer.h"
#include "zpk3x-cli/Befehle.h"
#include "zpk3x-cli/Plattform.h"

using Json = nlohmann::ordered_json;

// Language chosen by SpracheSetzen.
bool Englisch();
const char* T(const char* deutsch, const char* englisch);

// Results on standard output. After the first failed write nothing more is
// written; AusgabePruefen reports it at the end.
void Ausgeben(const std::string& text);
bool AusgabeFehlgeschlagen();
// Flushes and checks standard output and standard error before the exit status
// is chosen: a failed write of a result is exit 5 with the system's reason
// (status 141, quietly, when the reading end of a pipe was closed, as SIGPIPE
// ends other tools); otherwise `status`.
int AusgabePruefen(int status);
void JsonAusgeben(const Json& j);
std::string Meldung(ErrorCode code);

// A success: the JSON object with --json, else the text.
void Erledigt(const Optionen& o, Json ergebnis, const std::string& text);
// A success that only confirms what was done: as Erledigt, but no text with -q.
void Bestaetigen(const Optionen& o, Json ergebnis, const std::string& text);

// With -q no progress is shown either; set once from the options.
void LeiseSetzen(bool leise);

// Where the command talks to the device, once its port is open: a device error
// reported without its place (a read-back that differs, for one) gets it
// appended, in the text and as JSON keys. Cleared with an empty function.
void FehlerOrtSetzen(std::function<void(std::string* detail, Json* angaben)> ort);

// FehlerMelden with the error object's separate keys besides code, message and
// exit: "program", "field", "value", "minimum", "maximum", "path", "reason",
// "completed", "frame", "answer" (only those that apply).
int FehlerMelden(const Optionen& o, ErrorCode code, const std::string& detail, const Json& angaben);

// A field's value for JSON: an integer field as an integer, a real as a number
// (or "nan", "inf", "-inf" as program files write them).
Json FeldJson(const ProgramRecord& rec, const Programmfeld& feld);

// One line, rewritten in place; blanks rather than terminal escapes clear what a
// longer line left, so any console shows it.
bool Leise();

struct Fortschritt {
  bool an = IstTerminal(2) && !Leise();
  const char* was = "";
  mutable std::size_t breite = 0;

  void Zeigen(const std::string& text) const {
    if (!an) return;
    std::fprintf(stderr, "\r%s%*s", text.c_str(), static_cast<int>(breite > text.size() ? breite - text.size() : 0), "");
    std::fflush(stderr);
    breite = text.size();
  }
  void Ende() const {
    if (an && breite > 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(breite), "");
  }
};

// Progress callback of the transfers; `kontext` is a Fortschritt.
void ProgrammeFortschritt(int fertig, int anzahl, void* kontext);
