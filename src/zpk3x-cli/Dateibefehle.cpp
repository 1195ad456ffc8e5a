#include "zpk3x-cli/Dateibefehle.h"

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

constexpr ErrorCode kDateiNichtLesbar = -308305;
constexpr ErrorCode kDateiLesefehler = -304306;
constexpr ErrorCode kDateiNichtSchreibbar = -301307;

std::string Zitat(const std::string& text) { return T("„", "\"") + text + T("“", "\""); }

// A plain sentence for what is wrong with a file's contents.
std::string FormatfehlerSatz(const Formatfehler& f, Dateiformat format) {
  const std::string programm = f.slot >= 0 ? ProgrammName(f.slot) + ": " : "";
  const std::string slot = std::to_string(f.slot);
  switch (f.art) {
    case Fehlerart::Syntax:
      return format == Dateiformat::Json
                 ? T("kein gültiges JSON", "not valid JSON")
                 : T("kein gültiges CSV (ein Anführungszeichen ist nicht geschlossen oder steht mitten in einem Feld)",
                     "not valid CSV (a quote is not closed or stands inside a field)");
    case Fehlerart::FeldFehlt:
      return programm + T("Feld ", "field ") + (f.feld >= 0 ? PROGRAMMFELDER[f.feld].name : f.text) +
             T(" fehlt", " is missing");
    case Fehlerart::FeldUnbekannt:
      return programm + T("unbekanntes Feld ", "unknown field ") + Zitat(f.text);
    case Fehlerart::FeldDoppelt:
      return programm + T("Feld ", "field ") + Zitat(f.text) + T(" steht zweimal", " appears twice");
    case Fehlerart::SlotFehlt:
      return T("Slot ", "slot ") + slot + T(" fehlt", " is missing");
    case Fehlerart::SlotDoppelt:
      return T("Slot ", "slot ") + slot + T(" steht zweimal", " appears twice");
    case Fehlerart::SlotUngueltig:
      return programm + Zitat(f.text) + T(" ist keine Slotnummer von 0 bis 16", " is no slot number from 0 to 16");
    case Fehlerart::Wert:
      if (f.feld < 0)
        return std::string("auswahl: ") + Zitat(f.text) +
               (format == Dateiformat::Csv ? T(" ist weder 0 noch 1", " is neither 0 nor 1")
                                           : T(" ist keine Slotnummer von 0 bis 16", " is no slot number from 0 to 16"));
      return (f.slot >= 0 ? ProgrammName(f.slot) + ", " : "") + T("Feld ", "field ") + PROGRAMMFELDER[f.feld].name +
             ": " + Zitat(f.text) +
             (PROGRAMMFELDER[f.feld].ganz != nullptr ? T(" ist keine ganze Zahl", " is not a whole number")
                                                     : T(" ist keine Zahl", " is not a number"));
    case Fehlerart::Spaltenzahl:
      return std::string(T("die Zeile hat ", "the line has ")) + f.text + T(" Felder, der Kopf 13", " fields, the header 13");
    case Fehlerart::ZuVieleSlots:
      return f.text + T(" Programme, höchstens 17 (Slots 0 bis 16)", " programs, at most 17 (slots 0 to 16)");
    case Fehlerart::Auswahl:
      return f.text + T(" Slots ausgewählt (auswahl 1), genau einer muss es sein",
                        " slots selected (auswahl 1), exactly one must be");
    case Fehlerart::Aufbau: {
      if (f.text.empty()) return T("keine Programmtabelle", "not a program table");
      std::string kopf = "slot,auswahl";
      for (const Programmfeld& feld : PROGRAMMFELDER) kopf += std::string(",") + feld.name;
      return T("unerwartete Spalte ", "unexpected column ") + Zitat(f.text) + T("; der Kopf lautet ", "; the header is ") +
             kopf;
    }
    case Fehlerart::Programmdatei:
      if (f.code == -303107) return std::string(T("erwartet: 1, gefunden: ", "expected: 1, found: ")) + f.text;
      if (f.code == -304105)
        return std::string(T("die Datei hat ", "the file has ")) + f.text +
               T(" Bytes, eine Programmdatei hat 1408", " bytes, a program file has 1408");
      return "";
  }
  return "";
}

// Reports a fault in a file's contents: the file, the place, and what is wrong there.
int FormatfehlerMelden(const Optionen& o, const std::string& datei, Dateiformat format, const Formatfehler& f) {
  std::string detail = "\n" + datei;
  if (f.zeile > 0) detail += std::string(T(", Zeile ", ", line ")) + std::to_string(f.zeile);
  if (f.spalte > 0) detail += std::string(T(", Spalte ", ", column ")) + std::to_string(f.spalte);
  const std::string satz = FormatfehlerSatz(f, format);
  if (!satz.empty()) detail += ": " + satz;
  // The same facts as separate keys, for scripts.
  Json angaben = {{"path", datei}};
  if (f.zeile > 0) angaben["line"] = f.zeile;
  if (f.spalte > 0) angaben["column"] = f.spalte;
  if (f.slot >= 0) angaben["program"] = f.slot;
  if (f.feld >= 0) angaben["field"] = PROGRAMMFELDER[f.feld].name;
  if (!satz.empty()) angaben["reason"] = satz;
  return FehlerMelden(o, f.code, detail, angaben);
}

std::string TabelleAlsDatei(Dateiformat format, const Programmtabelle& t) {
  if (format == Dateiformat::Zpk) return TabelleAlsZpk(t);
  if (format == Dateiformat::Csv) return TabelleAlsCsv(t);
  return TabelleAlsJson(t);
}

}  // namespace

std::string DateiUndGrund(const std::string& pfad, int systemfehler) {
  return "\n" + pfad + (systemfehler != 0 ? ": " + Systemgrund(systemfehler) : "");
}

int DateifehlerMelden(const Optionen& o, ErrorCode code, const std::string& pfad, int systemfehler) {
  Json angaben = {{"path", pfad}};
  if (systemfehler != 0) angaben["reason"] = Systemgrund(systemfehler);
  return FehlerMelden(o, code, DateiUndGrund(pfad, systemfehler), angaben);
}

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
    if (daten.size() > FORMAT_GROESSTE_DATEI)
      return FehlerMelden(o, FORMAT_AUFBAU,
                          "\n-" + std::string(T(": größer als die Grenze für Programmdateien, 1 MiB (1048576 Bytes)",
                                                 ": larger than the limit for program files, 1 MiB (1048576 bytes)")));
    Formatfehler f{};
    if (TabelleLesen(format, daten, t, &f) != 0) return FormatfehlerMelden(o, pfad, format, f);
    return EXIT_OK;
  }
  errno = 0;
  std::FILE* ein = DateiZumLesenOeffnen(pfad);
  if (ein == nullptr) return DateifehlerMelden(o, kDateiNichtLesbar, pfad, errno != 0 ? errno : ENOENT);
  std::string daten;
  char puffer[65536];
  int fehler = 0;
  bool zuGross = false;
  for (;;) {
    errno = 0;
    const std::size_t n = std::fread(puffer, 1, sizeof puffer, ein);
    daten.append(puffer, n);
    if (daten.size() > FORMAT_GROESSTE_DATEI) {
      zuGross = true;
      break;
    }
    if (n < sizeof puffer) {
      // A folder opens on some systems and fails only here (EISDIR).
      if (std::ferror(ein)) fehler = errno != 0 ? errno : EIO;
      break;
    }
  }
  std::fclose(ein);
  if (zuGross)
    return FehlerMelden(o, FORMAT_AUFBAU,
                        "\n" + pfad + T(": größer als die Grenze für Programmdateien, 1 MiB (1048576 Bytes)",
                                        ": larger than the limit for program files, 1 MiB (1048576 bytes)"));
  if (fehler != 0) return DateifehlerMelden(o, kDateiLesefehler, pfad, fehler);
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
  return DateifehlerMelden(o, kDateiNichtSchreibbar, pfad, std::filesystem::exists(ordner, ec) ? ENOTDIR : ENOENT);
}

int DateiSchreiben(const Optionen& o, const std::string& pfad, Dateiformat format, const Programmtabelle& t) {
  // Replaced in one step, never half-written, keeping links, mode and owner as the window's save does.
  const std::string inhalt = TabelleAlsDatei(format, t);
  if (IstStrom(pfad)) return StandardausgabeSchreiben(inhalt) ? EXIT_OK : FehlerMelden(o, kDateiNichtSchreibbar, "\n-");
  int fehler = 0;
  if (DateiErsetzen(pfad, inhalt.data(), inhalt.size(), Ersetzungsart::NurAtomar, &fehler) != Ersetzt::Ja)
    return DateifehlerMelden(o, kDateiNichtSchreibbar, pfad, fehler);
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
