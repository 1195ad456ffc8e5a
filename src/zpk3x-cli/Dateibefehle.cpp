#include "zpk3x-cli/Dateibefehle.h"

#include "Geraetemeldungen/Geraetemeldungen.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "common/Dateiersetzen.h"
#include "common/Dateizugriff.h"
#include "zpk3x-cli/Ausgabe.h"
#include "zpk3x-cli/Dateiwahl.h"

namespace {

// Reports a fault in a file's contents: the file, the place, and what is wrong there.
int FormatfehlerMelden(const Optionen& o, const std::string& datei, Dateiformat format, const Formatfehler& f) {
  const std::string satz = FormatfehlerSatz(f, format);
  const std::string detail = FormatfehlerDetail(datei, f, satz);
  // The same facts as separate keys, for scripts.
  Json angaben = {{"file", datei}};
  if (f.zeile > 0) angaben["line"] = f.zeile;
  if (f.spalte > 0) angaben["column"] = f.spalte;
  if (f.slot >= 0) angaben["program"] = f.slot;
  if (f.feld >= 0) angaben["field"] = PROGRAMMFELDER[f.feld].name;
  // A key given twice or unknown is a field as the file names it.
  if (f.feld < 0 && (f.art == Fehlerart::FeldDoppelt || f.art == Fehlerart::FeldUnbekannt) && !f.text.empty())
    angaben["field"] = f.text;
  if (!satz.empty()) angaben["reason"] = satz;
  return FehlerMelden(o, f.code, detail, angaben);
}

}  // namespace

std::string DateiUndGrund(const std::string& pfad, int systemfehler) {
  return "\n" + pfad + (systemfehler != 0 ? ": " + Systemgrund(systemfehler, Englisch()) : "");
}

int DateifehlerMelden(const Optionen& o, ErrorCode code, const std::string& pfad, int systemfehler) {
  Json angaben = {{"file", pfad}};
  if (systemfehler != 0) {
    angaben["reason"] = Systemgrund(systemfehler, Englisch());
    angaben["reason_code"] = FehlerName(systemfehler);
  }
  return FehlerMelden(o, code, DateiUndGrund(pfad, systemfehler), angaben);
}

std::string TabellenText(const Programmtabelle& t, int von, int bis, bool auswahlZeigen) {
  std::vector<std::vector<std::string>> zeilen;
  std::vector<std::string> kopf = {"slot"};
  for (const Programmfeld& feld : PROGRAMMFELDER) kopf.emplace_back(feld.name);
  zeilen.push_back(kopf);
  for (int slot = von; slot <= bis; ++slot) {
    if (!SlotVorhanden(t, slot)) continue;
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
    if (!StandardeingabeLesen(&daten, FORMAT_GROESSTE_DATEI)) return FehlerMelden(o, DATEI_LESEFEHLER, "\n-");
    if (daten.size() > FORMAT_GROESSTE_DATEI)
      return FehlerMelden(o, FORMAT_AUFBAU, "\n-" + ZuGrossText(), {{"file", "-"}, {"limit", FORMAT_GROESSTE_DATEI}});
    Formatfehler f{};
    if (TabelleLesen(format, daten, t, &f) != 0) return FormatfehlerMelden(o, pfad, format, f);
    return EXIT_OK;
  }
  std::string daten;
  int fehler = 0;
  if (const ErrorCode code = DateiRohLesen(pfad, &daten, &fehler); code == FORMAT_AUFBAU) {
    return FehlerMelden(o, FORMAT_AUFBAU, "\n" + pfad + ZuGrossText(), {{"file", pfad}, {"limit", FORMAT_GROESSTE_DATEI}});
  } else if (code != 0) {
    return DateifehlerMelden(o, code, pfad, fehler);
  }
  Formatfehler f{};
  if (TabelleLesen(format, daten, t, &f) != 0) return FormatfehlerMelden(o, pfad, format, f);
  return EXIT_OK;
}

int ZielformatPruefen(const Optionen& o, const std::string& pfad, Dateiformat* format) {
  return FormatBestimmen(o, pfad, format);
}

int ZielordnerPruefen(const Optionen& o, const std::string& pfad) {
  std::error_code ec;
  // From UTF-8 explicitly: Windows would read a narrow name in the ANSI code page.
  const std::filesystem::path ordner = std::filesystem::path(std::u8string(pfad.begin(), pfad.end())).parent_path();
  if (IstStrom(pfad) || ordner.empty() || std::filesystem::is_directory(ordner, ec)) return EXIT_OK;
  return DateifehlerMelden(o, DATEI_NICHT_SCHREIBBAR, pfad, std::filesystem::exists(ordner, ec) ? ENOTDIR : ENOENT);
}

int DateiSchreiben(const Optionen& o, const std::string& pfad, Dateiformat format, const Programmtabelle& t) {
  // Replaced in one step, never half-written, keeping links, mode and owner as the window's save does.
  const std::string inhalt = TabelleAlsDatei(format, t);
  // A failed write to standard output is reported once, with its reason, when
  // the command ends (AusgabePruefen).
  if (IstStrom(pfad)) return StandardausgabeSchreiben(inhalt) ? EXIT_OK : EXIT_DATEI;
  int fehler = 0;
  if (DateiErsetzen(pfad, inhalt.data(), inhalt.size(), Ersetzungsart::NurAtomar, &fehler) != Ersetzt::Ja)
    return DateifehlerMelden(o, DATEI_NICHT_SCHREIBBAR, pfad, fehler);
  return EXIT_OK;
}

int SlotsPruefen(const Optionen& o, const std::string& pfad, const Programmtabelle& t, int von, int bis) {
  for (int slot = von; slot <= bis; ++slot) {
    if (SlotVorhanden(t, slot)) continue;
    return FehlerMelden(o, FORMAT_AUFBAU,
                        "\n" + pfad + ": " + ProgrammName(slot) + T(" steht nicht in der Datei", " is not in the file"),
                        {{"file", pfad}, {"program", slot}});
  }
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
  // The file written is `file`, as read -o names it.
  if (!IstStrom(o.ziel)) Bestaetigen(o, {{"input", o.datei}, {"file", o.ziel}}, o.datei + " -> " + o.ziel);
  return EXIT_OK;
}
