// The program table as a program file, JSON document or CSV table.
#include "zpk3x-cli/Programmformate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "DateiFunktionen/Programmdatei.h"
#include "Programmtransfer/Programmtransfer.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kSlot = "slot";
constexpr const char* kAuswahl = "auswahl";
constexpr const char* kProgramme = "programme";

ErrorCode Melden(Formatfehler* f, ErrorCode code, int slot, int feld, std::string text) {
  if (f != nullptr) *f = Formatfehler{code, slot, feld, std::move(text)};
  return code;
}

// Reads the whole of `text` as a double; "nan", "inf" and "-inf" as themselves.
bool ZahlLesen(const std::string& text, double* wert) {
  if (text == "nan") {
    *wert = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (text == "inf" || text == "-inf") {
    *wert = text[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return true;
  }
  // from_chars would also take "infinity" and "nan(...)": only plain numbers here.
  if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  const char* ende = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), ende, *wert, std::chars_format::general);
  return ec == std::errc() && p == ende;
}

bool GanzzahlLesen(const std::string& text, std::int32_t* wert) {
  const char* ende = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), ende, *wert, 10);
  return !text.empty() && ec == std::errc() && p == ende;
}

// ---- JSON ----

Json ZahlAlsJson(double wert) {
  if (!std::isfinite(wert)) return ZahlText(wert);
  // Whole numbers without a fraction, as the shortest text has them; -0 keeps its sign.
  if (wert == std::trunc(wert) && std::fabs(wert) < 9e15 && !std::signbit(wert))
    return static_cast<std::int64_t>(wert);
  return wert;
}

bool JsonZahl(const Json& j, double* wert) {
  if (j.is_number()) {
    *wert = j.get<double>();
    return true;
  }
  return j.is_string() && ZahlLesen(j.get<std::string>(), wert) && !std::isfinite(*wert);
}

bool JsonGanzzahl(const Json& j, std::int32_t* wert) {
  if (j.is_number_unsigned()) {
    const std::uint64_t v = j.get<std::uint64_t>();
    if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
    *wert = static_cast<std::int32_t>(v);
    return true;
  }
  if (j.is_number_integer()) {
    const std::int64_t v = j.get<std::int64_t>();
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
    *wert = static_cast<std::int32_t>(v);
    return true;
  }
  return false;
}

ErrorCode JsonLesen(const std::string& daten, Programmtabelle* ziel, Formatfehler* f) {
  const Json doc = Json::parse(daten, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return Melden(f, FORMAT_AUFBAU, -1, -1, "");
  for (const auto& eintrag : doc.items()) {
    if (eintrag.key() != kAuswahl && eintrag.key() != kProgramme) return Melden(f, FORMAT_AUFBAU, -1, -1, eintrag.key());
  }
  if (!doc.contains(kProgramme) || !doc[kProgramme].is_array() || doc[kProgramme].size() != PROGRAMM_SLOTS)
    return Melden(f, FORMAT_AUFBAU, -1, -1, kProgramme);
  if (!doc.contains(kAuswahl)) return Melden(f, FORMAT_AUFBAU, -1, -1, kAuswahl);

  Programmtabelle t{};
  std::int32_t auswahl = 0;
  if (!JsonGanzzahl(doc[kAuswahl], &auswahl) || auswahl < 0 || auswahl >= PROGRAMM_SLOTS)
    return Melden(f, FORMAT_WERT, -1, -1, doc[kAuswahl].dump());
  t.auswahl = auswahl;

  for (int slot = 0; slot < PROGRAMM_SLOTS; ++slot) {
    const Json& p = doc[kProgramme][static_cast<std::size_t>(slot)];
    if (!p.is_object()) return Melden(f, FORMAT_AUFBAU, slot, -1, "");
    for (const auto& eintrag : p.items()) {
      const std::string& schluessel = eintrag.key();
      const bool bekannt =
          schluessel == kSlot || std::any_of(std::begin(PROGRAMMFELDER), std::end(PROGRAMMFELDER),
                                             [&](const Programmfeld& feld) { return schluessel == feld.name; });
      if (!bekannt) return Melden(f, FORMAT_AUFBAU, slot, -1, schluessel);
    }
    std::int32_t nummer = -1;
    if (p.contains(kSlot) && !(JsonGanzzahl(p[kSlot], &nummer) && nummer == slot))
      return Melden(f, FORMAT_AUFBAU, slot, -1, kSlot);
    for (int i = 0; i < PROGRAMMFELDER_ANZAHL; ++i) {
      const Programmfeld& feld = PROGRAMMFELDER[i];
      if (!p.contains(feld.name)) return Melden(f, FORMAT_AUFBAU, slot, i, feld.name);
      const Json& wert = p[feld.name];
      const bool gut = feld.ganz != nullptr ? JsonGanzzahl(wert, &(t.slots[slot].*feld.ganz))
                                            : JsonZahl(wert, &(t.slots[slot].*feld.reell));
      if (!gut) return Melden(f, FORMAT_WERT, slot, i, wert.dump());
    }
  }
  *ziel = t;
  return 0;
}

// ---- CSV ----

// Splits CSV text into rows of fields (RFC 4180 quoting; LF or CRLF). False when
// a quoted field is not closed or a quote stands inside an unquoted field.
bool CsvZerlegen(const std::string& text, std::vector<std::vector<std::string>>* zeilen) {
  std::vector<std::string> zeile;
  std::string feld;
  bool zitiert = false, warZitiert = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (zitiert) {
      if (c != '"') {
        feld += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        feld += '"';
        ++i;
      } else {
        zitiert = false;
      }
      continue;
    }
    if (c == '"') {
      if (!feld.empty() || warZitiert) return false;
      zitiert = warZitiert = true;
    } else if (c == ',') {
      zeile.push_back(std::move(feld));
      feld.clear();
      warZitiert = false;
    } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      zeile.push_back(std::move(feld));
      feld.clear();
      warZitiert = false;
      zeilen->push_back(std::move(zeile));
      zeile.clear();
    } else if (warZitiert) {
      return false;  // text after the closing quote
    } else {
      feld += c;
    }
  }
  if (zitiert) return false;
  if (!feld.empty() || warZitiert || !zeile.empty()) {
    zeile.push_back(std::move(feld));
    zeilen->push_back(std::move(zeile));
  }
  return true;
}

std::vector<std::string> CsvKopf() {
  std::vector<std::string> kopf = {kSlot, kAuswahl};
  for (const Programmfeld& feld : PROGRAMMFELDER) kopf.emplace_back(feld.name);
  return kopf;
}

ErrorCode CsvLesen(const std::string& daten, Programmtabelle* ziel, Formatfehler* f) {
  std::vector<std::vector<std::string>> zeilen;
  if (!CsvZerlegen(daten, &zeilen)) return Melden(f, FORMAT_AUFBAU, -1, -1, "");
  // Blank lines carry nothing.
  zeilen.erase(std::remove_if(zeilen.begin(), zeilen.end(),
                              [](const std::vector<std::string>& z) { return z.size() == 1 && z[0].empty(); }),
               zeilen.end());
  const std::vector<std::string> kopf = CsvKopf();
  if (zeilen.empty() || zeilen[0] != kopf) return Melden(f, FORMAT_AUFBAU, -1, -1, "");
  if (zeilen.size() != PROGRAMM_SLOTS + 1) return Melden(f, FORMAT_AUFBAU, -1, -1, "");

  Programmtabelle t{};
  bool gesehen[PROGRAMM_SLOTS] = {};
  int ausgewaehlt = 0;
  for (std::size_t z = 1; z < zeilen.size(); ++z) {
    const std::vector<std::string>& zeile = zeilen[z];
    if (zeile.size() != kopf.size()) return Melden(f, FORMAT_AUFBAU, -1, -1, std::to_string(z + 1));
    std::int32_t slot = -1;
    if (!GanzzahlLesen(zeile[0], &slot) || slot < 0 || slot >= PROGRAMM_SLOTS || gesehen[slot])
      return Melden(f, FORMAT_AUFBAU, -1, -1, zeile[0]);
    gesehen[slot] = true;
    if (zeile[1] == "1") {
      t.auswahl = slot;
      ++ausgewaehlt;
    } else if (zeile[1] != "0") {
      return Melden(f, FORMAT_WERT, slot, -1, zeile[1]);
    }
    for (int i = 0; i < PROGRAMMFELDER_ANZAHL; ++i) {
      const Programmfeld& feld = PROGRAMMFELDER[i];
      const std::string& text = zeile[2 + static_cast<std::size_t>(i)];
      const bool gut = feld.ganz != nullptr ? GanzzahlLesen(text, &(t.slots[slot].*feld.ganz))
                                            : ZahlLesen(text, &(t.slots[slot].*feld.reell));
      if (!gut) return Melden(f, FORMAT_WERT, slot, i, text);
    }
  }
  if (ausgewaehlt != 1) return Melden(f, FORMAT_WERT, -1, -1, kAuswahl);
  *ziel = t;
  return 0;
}

}  // namespace

Programmtabelle StandardTabelle() {
  Programmtabelle t{};
  for (ProgramRecord& r : t.slots) r = PROGRAMM_STANDARDSATZ;
  t.auswahl = 0;
  return t;
}

Dateiformat FormatAusName(const std::string& pfad) {
  const std::string::size_type punkt = pfad.rfind('.');
  const std::string::size_type trenner = pfad.find_last_of("/\\");
  if (punkt == std::string::npos || (trenner != std::string::npos && punkt < trenner)) return Dateiformat::Unbekannt;
  std::string endung = pfad.substr(punkt + 1);
  for (char& c : endung) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (endung == "zpk") return Dateiformat::Zpk;
  if (endung == "csv") return Dateiformat::Csv;
  if (endung == "json") return Dateiformat::Json;
  return Dateiformat::Unbekannt;
}

std::string ZahlText(double wert) {
  if (std::isnan(wert)) return "nan";
  if (std::isinf(wert)) return wert < 0 ? "-inf" : "inf";
  char puffer[32];
  const auto [p, ec] = std::to_chars(puffer, puffer + sizeof puffer, wert);
  return std::string(puffer, ec == std::errc() ? p : puffer);
}

std::string CsvFeld(const std::string& text) {
  const bool zitieren = text.find_first_of(",\"\r\n") != std::string::npos ||
                        (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!zitieren) return text;
  std::string aus = "\"";
  for (char c : text) {
    if (c == '"') aus += '"';
    aus += c;
  }
  return aus + '"';
}

std::string TabelleAlsZpk(const Programmtabelle& t) {
  unsigned char bild[PROGRAMMDATEI_GROESSE];
  ProgrammdateiBauen(t.slots, t.auswahl, bild);
  return std::string(reinterpret_cast<const char*>(bild), sizeof bild);
}

std::string TabelleAlsJson(const Programmtabelle& t) {
  Json doc;
  doc[kAuswahl] = t.auswahl;
  Json programme = Json::array();
  for (int slot = 0; slot < PROGRAMM_SLOTS; ++slot) {
    Json p;
    p[kSlot] = slot;
    for (const Programmfeld& feld : PROGRAMMFELDER)
      p[feld.name] = feld.ganz != nullptr ? Json(t.slots[slot].*feld.ganz) : ZahlAlsJson(t.slots[slot].*feld.reell);
    programme.push_back(std::move(p));
  }
  doc[kProgramme] = std::move(programme);
  return doc.dump(2) + "\n";
}

std::string TabelleAlsCsv(const Programmtabelle& t) {
  std::string aus;
  const std::vector<std::string> kopf = CsvKopf();
  for (std::size_t i = 0; i < kopf.size(); ++i) aus += (i == 0 ? "" : ",") + kopf[i];
  aus += "\r\n";
  for (int slot = 0; slot < PROGRAMM_SLOTS; ++slot) {
    aus += std::to_string(slot) + (slot == t.auswahl ? ",1" : ",0");
    for (const Programmfeld& feld : PROGRAMMFELDER)
      aus += "," + (feld.ganz != nullptr ? std::to_string(t.slots[slot].*feld.ganz) : ZahlText(t.slots[slot].*feld.reell));
    aus += "\r\n";
  }
  return aus;
}

ErrorCode TabelleLesen(Dateiformat format, const std::string& daten, Programmtabelle* tabelle,
                       Formatfehler* fehler) {
  switch (format) {
    case Dateiformat::Zpk: {
      Programmtabelle t{};
      std::int32_t version = 0;
      const ErrorCode code = ProgrammdateiLesen(reinterpret_cast<const unsigned char*>(daten.data()), daten.size(),
                                                t.slots, &t.auswahl, &version);
      if (code != 0) return Melden(fehler, code, -1, -1, std::to_string(version));
      *tabelle = t;
      return 0;
    }
    case Dateiformat::Csv:
      return CsvLesen(daten, tabelle, fehler);
    case Dateiformat::Json:
      return JsonLesen(daten, tabelle, fehler);
    case Dateiformat::Unbekannt:
      break;
  }
  return Melden(fehler, FORMAT_AUFBAU, -1, -1, "");
}
