#include "zpk3x-cli/Ausgabe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "zpk3x-cli/Plattform.h"

namespace {
bool gEnglisch = false;
}  // namespace

bool Englisch() { return gEnglisch; }

const char* T(const char* deutsch, const char* englisch) { return gEnglisch ? englisch : deutsch; }

void Ausgeben(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
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

void ProgrammeFortschritt(int fertig, int anzahl, void* kontext) {
  const Fortschritt* f = static_cast<const Fortschritt*>(kontext);
  f->Zeigen(std::string(f->was) + " " + std::to_string(fertig) + "/" + std::to_string(anzahl));
}

bool EnglischAusUmgebung() {
  const char* lang = std::getenv("LANG");
  return !(lang != nullptr && std::strncmp(lang, "de", 2) == 0);
}

int ExitStatus(ErrorCode code) {
  if (code == 0) return EXIT_OK;
  const int klasse = -(code / 1000);
  // Ended on request: the status a shell gives a process ended by the signal.
  if (klasse == 4) return AbbruchStatus() != 0 ? AbbruchStatus() : 130;
  switch (klasse) {
    case 100: case 103: case 110: case 111: case 125:
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

int FehlerMelden(const Optionen& o, ErrorCode code, const std::string& detail, const Json& felder) {
  const std::string meldung = Meldung(code) + detail;
  std::fprintf(stderr, "zpk3x-cli: %s #%d: %s\n", T("Fehler", "Error"), -code, meldung.c_str());
  Json fehler = {{"code", code}, {"message", meldung}};
  fehler.update(felder);
  if (o.json) JsonAusgeben({{"error", fehler}});
  return ExitStatus(code);
}

void SpracheSetzen(bool englisch) {
  gEnglisch = englisch;
  OLQ_Fehlersprache(englisch ? 2 : 1);
}
