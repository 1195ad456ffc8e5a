#include "zpk3x-cli/Dateibefehle.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/Dateiersetzen.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Dateiwahl.h"

namespace {

constexpr ErrorCode kDateiNichtLesbar = -308305;
constexpr ErrorCode kDateiLesefehler = -304306;
constexpr ErrorCode kDateiNichtSchreibbar = -301307;

// Reports a fault in a file's contents: the program, the field and what was found.
int FormatfehlerMelden(const Optionen& o, const std::string& datei, const Formatfehler& f) {
  std::string detail = "\n" + datei;
  if (f.slot >= 0) detail += ": " + ProgrammName(f.slot);
  if (f.feld >= 0) detail += std::string(", ") + PROGRAMMFELDER[f.feld].name;
  if (f.code == -303107) {
    detail += std::string(T("\nerwartet: 1, gefunden: ", "\nexpected: 1, found: ")) + f.text;
  } else if (!f.text.empty()) {
    detail += (f.slot >= 0 || f.feld >= 0 ? " = " : ": ") + f.text;
  }
  return FehlerMelden(o, f.code, detail);
}

std::string TabelleAlsDatei(Dateiformat format, const Programmtabelle& t) {
  if (format == Dateiformat::Zpk) return TabelleAlsZpk(t);
  if (format == Dateiformat::Csv) return TabelleAlsCsv(t);
  return TabelleAlsJson(t);
}

}  // namespace

std::string ProgrammName(int slot) {
  if (slot == 0) return T("Arbeitsparameter", "working parameters");
  return std::string(T("Programm ", "program ")) + std::to_string(slot);
}

std::string BereichText(const Programmfeld& feld) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f .. %.*f", feld.nachkommastellen, feld.minimum, feld.nachkommastellen,
                feld.maximum);
  return text;
}

std::string FeldText(const ProgramRecord& rec, const Programmfeld& feld) {
  return feld.ganz != nullptr ? std::to_string(rec.*feld.ganz) : ZahlText(rec.*feld.reell);
}

std::string TabellenText(const Programmtabelle& t, int von, int bis, bool auswahlZeigen) {
  std::vector<std::vector<std::string>> zeilen;
  std::vector<std::string> kopf = {"slot"};
  for (const Programmfeld& feld : PROGRAMMFELDER) kopf.emplace_back(feld.name);
  zeilen.push_back(kopf);
  for (int slot = von; slot <= bis; ++slot) {
    std::vector<std::string> z = {std::to_string(slot) + (auswahlZeigen && slot == t.auswahl ? "*" : "")};
    for (const Programmfeld& feld : PROGRAMMFELDER) z.push_back(FeldText(t.slots[slot], feld));
    zeilen.push_back(z);
  }
  std::vector<std::size_t> breite(kopf.size(), 0);
  for (const auto& z : zeilen)
    for (std::size_t i = 0; i < z.size(); ++i) breite[i] = std::max(breite[i], z[i].size());
  std::string aus;
  for (const auto& z : zeilen) {
    for (std::size_t i = 0; i < z.size(); ++i) {
      aus += (i == 0 ? "" : "  ") + std::string(breite[i] - z[i].size(), ' ') + z[i];
    }
    aus += "\n";
  }
  if (auswahlZeigen) aus += T("* ausgewählt\n", "* selected\n");
  return aus;
}

int DateiLesen(const Optionen& o, const std::string& pfad, Programmtabelle* t) {
  Dateiformat format = Dateiformat::Unbekannt;
  if (int status = FormatBestimmen(o, pfad, &format); status != EXIT_OK) return status;
  if (IstStrom(pfad)) {
    std::string daten;
    if (!StandardeingabeLesen(&daten, FORMAT_GROESSTE_DATEI)) return FehlerMelden(o, kDateiLesefehler, "\n-");
    if (daten.size() > FORMAT_GROESSTE_DATEI) return FehlerMelden(o, FORMAT_AUFBAU, "\n-");
    Formatfehler f{};
    if (TabelleLesen(format, daten, t, &f) != 0) return FormatfehlerMelden(o, pfad, f);
    return EXIT_OK;
  }
  std::ifstream ein(pfad, std::ios::binary);
  if (!ein) return FehlerMelden(o, kDateiNichtLesbar, "\n" + pfad);
  std::string daten;
  char puffer[65536];
  while (ein.read(puffer, sizeof puffer) || ein.gcount() > 0) {
    daten.append(puffer, static_cast<std::size_t>(ein.gcount()));
    if (daten.size() > FORMAT_GROESSTE_DATEI) return FehlerMelden(o, FORMAT_AUFBAU, "\n" + pfad);
  }
  if (ein.bad()) return FehlerMelden(o, kDateiLesefehler, "\n" + pfad);
  Formatfehler f{};
  if (TabelleLesen(format, daten, t, &f) != 0) return FormatfehlerMelden(o, pfad, f);
  return EXIT_OK;
}

int ZielformatPruefen(const Optionen& o, const std::string& pfad, Dateiformat* format) {
  return FormatBestimmen(o, pfad, format);
}

int ZielordnerPruefen(const Optionen& o, const std::string& pfad) {
  std::error_code ec;
  const std::filesystem::path ordner = std::filesystem::path(pfad).parent_path();
  if (IstStrom(pfad) || ordner.empty() || std::filesystem::is_directory(ordner, ec)) return EXIT_OK;
  return FehlerMelden(o, kDateiNichtSchreibbar, "\n" + pfad);
}

int DateiSchreiben(const Optionen& o, const std::string& pfad, Dateiformat format, const Programmtabelle& t) {
  // Replaced in one step, never half-written, keeping links, mode and owner as the window's save does.
  const std::string inhalt = TabelleAlsDatei(format, t);
  if (IstStrom(pfad)) return StandardausgabeSchreiben(inhalt) ? EXIT_OK : FehlerMelden(o, kDateiNichtSchreibbar, "\n-");
  if (DateiErsetzen(pfad, inhalt.data(), inhalt.size(), Ersetzungsart::NurAtomar) != Ersetzt::Ja)
    return FehlerMelden(o, kDateiNichtSchreibbar, "\n" + pfad);
  return EXIT_OK;
}

int Zeigen(const Optionen& o) {
  Programmtabelle t{};
  if (int status = DateiLesen(o, o.datei, &t); status != EXIT_OK) return status;
  Ausgeben(o.json ? TabelleAlsJson(t) : TabellenText(t, 0, PROGRAMM_SLOTS - 1, true));
  return EXIT_OK;
}

int Umwandeln(const Optionen& o) {
  Dateiformat ziel = Dateiformat::Unbekannt;
  if (int status = ZielformatPruefen(o, o.ziel, &ziel); status != EXIT_OK) return status;
  Programmtabelle t{};
  if (int status = DateiLesen(o, o.datei, &t); status != EXIT_OK) return status;
  if (int status = DateiSchreiben(o, o.ziel, ziel, t); status != EXIT_OK) return status;
  if (!IstStrom(o.ziel)) Bestaetigen(o, {{"from", o.datei}, {"to", o.ziel}}, o.datei + " -> " + o.ziel);
  return EXIT_OK;
}
