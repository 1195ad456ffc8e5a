#include "Programmformate/Programmdateien.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "common/Dateizugriff.h"

namespace {

const char* T(const char* deutsch, const char* englisch) { return OLQ_Text(deutsch, englisch); }

std::string Zitat(const std::string& text) { return T("„", "\"") + text + T("“", "\""); }

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

double Gesendet(double wert, int nachkommastellen) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", nachkommastellen, wert);
  return std::strtod(text, nullptr);
}

// The value as the driver sends it; two values the device cannot tell apart are equal.
std::string GesendetText(const ProgramRecord& rec, const Programmfeld& feld) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", feld.nachkommastellen, FeldWert(rec, feld));
  return text;
}

std::vector<Abweichung> Abweichungen(const Programmtabelle& a, const Programmtabelle& b, int von, int bis) {
  std::vector<Abweichung> aus;
  for (int slot = von; slot <= bis; ++slot) {
    for (int i = 0; i < PROGRAMMFELDER_ANZAHL; ++i) {
      const Programmfeld& feld = PROGRAMMFELDER[i];
      if (!GleichGespeichert(a.slots[slot], b.slots[slot], feld)) aus.push_back({slot, i});
    }
  }
  return aus;
}

std::string BereichsfehlerText(int slot, const Programmfeld& feld, const ProgramRecord& rec) {
  return ProgrammName(slot) + ", " + feld.name + " = " + FeldText(rec, feld) + T("; erlaubt: ", "; allowed: ") +
         BereichText(feld);
}

std::string NachpruefDetail(int slot, const Programmfeld& feld, const ProgramRecord& geschrieben,
                            const ProgramRecord& gelesen) {
  return std::string(T("\nPrüfung: ", "\nverify: ")) + ProgrammName(slot) + ", " + feld.name +
         T(": geschrieben ", ": written ") + GesendetText(geschrieben, feld) + T(", zurückgelesen ", ", read back ") +
         GesendetText(gelesen, feld);
}

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
    case Fehlerart::SlotStelle: {
      const std::string eintrag = std::to_string(std::atoi(f.text.c_str()) + 1);
      return T("Eintrag ", "entry ") + eintrag + T(" in „programme“ enthält Slot ", " of \"programme\" holds slot ") + slot +
             T(", den Platz von Slot ", ", the place of slot ") + f.text +
             T(": die Slots stehen der Reihe nach ab 0, ein fehlender als null",
               ": slots stand in order from 0, a missing one as null");
    }
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
      return std::string(T("die Zeile hat ", "the line has ")) + f.text + T(" Felder, der Kopf ", " fields, the header ") +
             std::to_string(2 + PROGRAMMFELDER_ANZAHL);
    case Fehlerart::Dialekt:
      if (f.feld < 0)
        return Zitat(f.text) + T(" mischt die Schreibweisen: der Kopf trennt mit ", " mixes the dialects: the header separates with ") +
               (f.text.find(';') != std::string::npos ? T("Kommas", "commas") : T("Semikolons", "semicolons"));
      return (f.slot >= 0 ? ProgrammName(f.slot) + ", " : "") + T("Feld ", "field ") + PROGRAMMFELDER[f.feld].name + ": " +
             Zitat(f.text) +
             T(" mischt die Schreibweisen: mit Semikolons als Trenner ist das Komma das Dezimalzeichen und ein Punkt "
               "steht nur zwischen Dreiergruppen (1.000, 12.345.678)",
               " mixes the dialects: with semicolons as separators the comma is the decimal mark and a dot stands only "
               "between groups of three digits (1.000, 12.345.678)");
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

std::string FormatfehlerDetail(const std::string& datei, const Formatfehler& f, const std::string& satz) {
  std::string detail = "\n" + datei;
  if (f.zeile > 0) detail += std::string(T(", Zeile ", ", line ")) + std::to_string(f.zeile);
  if (f.spalte > 0) detail += std::string(T(", Spalte ", ", column ")) + std::to_string(f.spalte);
  if (!satz.empty()) detail += ": " + satz;
  return detail;
}

std::string ZuGrossText() {
  return T(": größer als die Grenze für Programmdateien, 1 MiB (1048576 Bytes)",
           ": larger than the limit for program files, 1 MiB (1048576 bytes)");
}

std::string TabelleAlsDatei(Dateiformat format, const Programmtabelle& t) {
  if (format == Dateiformat::Zpk) return TabelleAlsZpk(t);
  if (format == Dateiformat::Csv) return TabelleAlsCsv(t);
  return TabelleAlsJson(t);
}

ErrorCode DateiRohLesen(const std::string& pfad, std::string* daten, int* systemfehler) {
  *systemfehler = 0;
  daten->clear();
  errno = 0;
  std::FILE* ein = DateiZumLesenOeffnen(pfad);
  if (ein == nullptr) {
    *systemfehler = errno != 0 ? errno : ENOENT;
    return DATEI_NICHT_LESBAR;
  }
  char puffer[65536];
  int fehler = 0;
  bool zuGross = false;
  for (;;) {
    errno = 0;
    const std::size_t n = std::fread(puffer, 1, sizeof puffer, ein);
    daten->append(puffer, n);
    if (daten->size() > FORMAT_GROESSTE_DATEI) {
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
  if (zuGross) return FORMAT_AUFBAU;
  if (fehler != 0) {
    *systemfehler = fehler;
    return DATEI_LESEFEHLER;
  }
  return 0;
}
