#include <cerrno>
#include <cmath>
#include "zpk3x-cli/Ausgabe.h"

#include "Programmformate/Programmformate.h"
#include "common/Dateizugriff.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Telemetrie/Telemetrie.h"
#include "zpk3x-cli/Plattform.h"

namespace {
bool gEnglisch = false;
bool gLeise = false;

// The first of the variables that is set and not empty decides, as POSIX has it.
const char* Sprachvariable() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* wert = std::getenv(name);
    if (wert != nullptr && wert[0] != '\0') return wert;
  }
  return nullptr;
}
}  // namespace

void LeiseSetzen(bool leise) { gLeise = leise; }
bool Leise() { return gLeise; }

bool Englisch() { return gEnglisch; }

const char* T(const char* deutsch, const char* englisch) { return gEnglisch ? englisch : deutsch; }

namespace {
// The first failed write to standard output, as errno said; 0 while none failed.
int gAusgabeFehler = 0;
}  // namespace

void Ausgeben(const std::string& text) {
  if (gAusgabeFehler != 0) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
    gAusgabeFehler = errno != 0 ? errno : EIO;
}

bool AusgabeFehlgeschlagen() { return gAusgabeFehler != 0; }

int AusgabePruefen(int status) {
  errno = 0;
  if (gAusgabeFehler == 0 && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)) gAusgabeFehler = errno != 0 ? errno : EIO;
  if (gAusgabeFehler == EPIPE) return 141;  // the reader went away: quietly, as SIGPIPE ends other tools
  if (gAusgabeFehler != 0) {
    std::fprintf(stderr, "zpk3x-cli: %s #%d: %s\n%s: %s\n", T("Fehler", "Error"), 301307,
                 Meldung(-301307).c_str(), T("Standardausgabe", "standard output"), Systemgrund(gAusgabeFehler, gEnglisch).c_str());
    if (status == EXIT_OK) status = EXIT_DATEI;
  }
  if ((std::fflush(stderr) != 0 || std::ferror(stderr) != 0) && status == EXIT_OK) status = EXIT_DATEI;
  return status;
}

void JsonAusgeben(const Json& j) { Ausgeben(j.dump() + "\n"); }

std::string Meldung(ErrorCode code) { return OLQ_Fehlermeldung(code); }

void Erledigt(const Optionen& o, Json ergebnis, const std::string& text) {
  if (o.json) {
    JsonAusgeben(ergebnis);
  } else {
    Ausgeben(text.empty() || text.back() != '\n' ? text + "\n" : text);
  }
}

void Bestaetigen(const Optionen& o, Json ergebnis, const std::string& text) {
  if (o.json || !gLeise) Erledigt(o, std::move(ergebnis), text);
}

void ProgrammeFortschritt(int fertig, int anzahl, void* kontext) {
  const Fortschritt* f = static_cast<const Fortschritt*>(kontext);
  f->Zeigen(std::string(f->was) + " " + std::to_string(fertig) + "/" + std::to_string(anzahl));
}

bool EnglischAusUmgebung() {
  const char* lang = Sprachvariable();
  if (lang == nullptr) return !OberflaecheDeutsch();
  return std::strncmp(lang, "de", 2) != 0;
}

int ExitStatus(ErrorCode code) {
  if (code == 0) return EXIT_OK;
  if (code == MQTT_ANMELDUNG_ABGELEHNT || code == MQTT_ZERTIFIKAT_ABGELEHNT) return EXIT_MQTT;
  const int klasse = -(code / 1000);
  // Ended on request: the status a shell gives a process ended by the signal.
  if (klasse == 4) return AbbruchStatus() != 0 ? AbbruchStatus() : 130;
  switch (klasse) {
    case 100: case 103: case 110: case 111: case 125:
    case 127:  // the port hung up: the device side went away
      return EXIT_PORT;
    case 500: case 504: case 505:
      return EXIT_AUFRUF;
    default:
      break;
  }
  if (klasse >= 300 && klasse < 400) return EXIT_DATEI;
  return EXIT_GERAET;
}

int FehlerMelden(const Optionen& o, ErrorCode code, const std::string& detail) {
  return FehlerMelden(o, code, detail, Json::object());
}

namespace {
std::function<void(std::string*, Json*)> gOrt;
}  // namespace

void FehlerOrtSetzen(std::function<void(std::string* detail, Json* angaben)> ort) { gOrt = std::move(ort); }

int FehlerMelden(const Optionen& o, ErrorCode code, const std::string& detailGegeben, const Json& angabenGegeben) {
  const int status = ExitStatus(code);
  std::string detail = detailGegeben;
  Json angaben = angabenGegeben.is_object() ? angabenGegeben : Json::object();
  if (gOrt && status == EXIT_GERAET && !angaben.contains("port")) gOrt(&detail, &angaben);
  const std::string meldung = Meldung(code) + detail;
  std::fprintf(stderr, "zpk3x-cli: %s #%d: %s\n", T("Fehler", "Error"), -code, meldung.c_str());
  if (o.json) {
    // The number the message shows: one number for one error.
    Json fehler = {{"code", -code}, {"message", meldung}, {"exit", status}};
    fehler.update(angaben);
    JsonAusgeben({{"error", fehler}});
  }
  return status;
}

void SpracheSetzen(bool englisch) {
  gEnglisch = englisch;
  OLQ_Fehlersprache(englisch ? 2 : 1);
}

Json FeldJson(const ProgramRecord& rec, const Programmfeld& feld) {
  if (feld.ganz != nullptr) return rec.*feld.ganz;
  const double wert = rec.*feld.reell;
  // As program files write them: a value that is no finite number as its text.
  return std::isfinite(wert) ? Json(wert) : Json(ZahlText(wert));
}
