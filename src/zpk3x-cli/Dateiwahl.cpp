#include "zpk3x-cli/Dateiwahl.h"

#include <cstdio>

#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Plattform.h"

namespace {

Dateiformat FormatAusOption(const std::string& text) {
  if (text == "zpk") return Dateiformat::Zpk;
  if (text == "csv") return Dateiformat::Csv;
  if (text == "json") return Dateiformat::Json;
  return Dateiformat::Unbekannt;
}

bool FormatGilt(const Optionen& o, const std::string& pfad) {
  if (o.format.empty()) return false;
  if (o.befehl != "convert" || IstStrom(pfad)) return true;
  return pfad == o.ziel && !IstStrom(o.datei) && !IstStrom(o.ziel);
}

}  // namespace

int FormatBestimmen(const Optionen& o, const std::string& pfad, Dateiformat* format) {
  *format = FormatGilt(o, pfad) ? FormatAusOption(o.format) : FormatAusName(pfad);
  if (*format != Dateiformat::Unbekannt) return EXIT_OK;
  if (IstStrom(pfad))
    return FehlerMelden(o, AUFRUF_FEHLER, std::string("\n-: ") + T("--format zpk, csv oder json angeben", "give --format zpk, csv or json"));
  // --format stands for a named file except convert's input, which takes it only as "-".
  if (o.befehl == "convert" && pfad == o.datei)
    return FehlerMelden(o, AUFRUF_FEHLER,
                        "\n" + pfad +
                            T(": keine bekannte Endung (.zpk, .csv, .json); oder als - auf der Standardeingabe mit --format zpk, csv oder json",
                              ": no known extension (.zpk, .csv, .json); or give it as - on standard input with --format zpk, csv or json"));
  return FehlerMelden(o, AUFRUF_FEHLER,
                      "\n" + pfad +
                          T(": keine bekannte Endung (.zpk, .csv, .json); oder --format zpk, csv oder json angeben",
                            ": no known extension (.zpk, .csv, .json); or give --format zpk, csv or json"));
}

bool StandardeingabeLesen(std::string* daten, std::size_t grenze) {
  StromBinaer(0);
  char puffer[65536];
  std::size_t n = 0;
  while ((n = std::fread(puffer, 1, sizeof puffer, stdin)) > 0) {
    daten->append(puffer, n);
    if (daten->size() > grenze) return true;
  }
  return std::ferror(stdin) == 0;
}

bool StandardausgabeSchreiben(const std::string& daten) {
  StromBinaer(1);
  // Through Ausgeben, which keeps the system's reason for AusgabePruefen.
  Ausgeben(daten);
  return !AusgabeFehlgeschlagen();
}
