// The program table as a program file, JSON document or CSV table.
#include "Programmformate/Programmformate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>
#include <vector>

#include "DateiFunktionen/Programmdatei.h"
#include "Programmtransfer/Programmtransfer.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kSlot = "slot";
constexpr const char* kAuswahl = "auswahl";
constexpr const char* kProgramme = "programme";

ErrorCode Melden(Formatfehler* f, ErrorCode code, Fehlerart art, int slot, int feld, std::string text, int zeile = 0,
                 int spalte = 0) {
  if (f != nullptr) *f = Formatfehler{code, art, slot, feld, std::move(text), zeile, spalte};
  return code;
}

constexpr std::uint64_t kVorzeichen = 0x8000000000000000u;
constexpr std::uint64_t kExponent = 0x7FF0000000000000u;
constexpr std::uint64_t kBruch = 0x000FFFFFFFFFFFFFu;
constexpr std::uint64_t kRuhigesNan = 0x0008000000000000u;  // the fraction of the plain quiet NaN

double AusBits(std::uint64_t bits) {
  double wert;
  std::memcpy(&wert, &bits, sizeof wert);
  return wert;
}

// "[-]nan" or "[-]nan(0xF)" with F the fraction's bits, not zero; false otherwise.
bool NanLesen(const std::string& text, double* wert) {
  const bool negativ = !text.empty() && text[0] == '-';
  const std::string rest = text.substr(negativ ? 1 : 0);
  if (rest.compare(0, 3, "nan") != 0) return false;
  std::uint64_t bruch = kRuhigesNan;
  if (rest.size() > 3) {
    if (rest.size() < 8 || rest.compare(3, 3, "(0x") != 0 || rest.back() != ')') return false;
    const char* anfang = rest.data() + 6;
    const char* ende = rest.data() + rest.size() - 1;
    const auto [p, ec] = std::from_chars(anfang, ende, bruch, 16);
    if (ec != std::errc() || p != ende || bruch == 0 || bruch > kBruch) return false;
  }
  *wert = AusBits((negativ ? kVorzeichen : 0) | kExponent | bruch);
  return true;
}

// Reads the whole of `text` as a double; "inf", "-inf" and the NaN spellings as themselves.
bool ZahlLesen(const std::string& text, double* wert) {
  if (NanLesen(text, wert)) return true;
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

// Line and column (from 1) of the byte at `index` (from 0).
void Stelle(const std::string& text, std::size_t index, int* zeile, int* spalte) {
  index = std::min(index, text.size());
  const std::size_t zeilenanfang = index == 0 ? std::string::npos : text.rfind('\n', index - 1);
  *zeile = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(index), '\n'));
  *spalte = 1 + static_cast<int>(zeilenanfang == std::string::npos ? index : index - zeilenanfang - 1);
}

// A key that appears twice in one object would silently give the last value:
// the parser reports each key, and the first repeated one is kept here.
struct DoppelteSchluessel {
  std::vector<std::set<std::string>> offen;  // the keys of each object being read
  std::string obersterSchluessel;           // the top-level key being read
  int programm = -1;                        // index of the program object being read
  bool gefunden = false;
  int slot = -1;
  std::string schluessel;

  bool operator()(int tiefe, Json::parse_event_t ereignis, Json& wert) {
    using E = Json::parse_event_t;
    if (ereignis == E::object_start) {
      offen.emplace_back();
      if (tiefe == 2 && obersterSchluessel == kProgramme) ++programm;
    } else if (ereignis == E::object_end) {
      if (!offen.empty()) offen.pop_back();
    } else if (ereignis == E::key && !offen.empty()) {
      const std::string k = wert.get<std::string>();
      if (tiefe == 1) obersterSchluessel = k;
      if (!offen.back().insert(k).second && !gefunden) {
        gefunden = true;
        slot = tiefe == 1 ? -1 : programm;
        schluessel = k;
      }
    }
    return true;
  }
};

// A value as the file holds it, a text without its quotes.
std::string WertText(const Json& j) { return j.is_string() ? j.get<std::string>() : j.dump(); }

// A number too large for any double ("1e400") is no fault of the file's syntax:
// it is the infinity it stands for, written as the format writes infinities,
// so that the range check names its field. The text keeps its length, so that
// every later place in it stays where it was.
std::string UeberlaufAlsUnendlich(const std::string& daten) {
  std::string aus;
  bool imText = false;
  for (std::size_t i = 0; i < daten.size(); ++i) {
    const char c = daten[i];
    if (imText) {
      if (c == '\\') ++i;
      else if (c == '"') imText = false;
      continue;
    }
    if (c == '"') {
      imText = true;
      continue;
    }
    if (c != '-' && (c < '0' || c > '9')) continue;
    std::size_t ende = i + 1;
    while (ende < daten.size() && std::strchr("0123456789.eE+-", daten[ende]) != nullptr) ++ende;
    double wert = 0;
    const char* anfang = daten.data() + i + (c == '-' ? 1 : 0);
    const auto [stop, fehler] = std::from_chars(anfang, daten.data() + ende, wert);
    const std::string token = daten.substr(i, ende - i);
    const std::size_t e = token.find_first_of("eE");
    const bool ueberlauf = fehler == std::errc::result_out_of_range && e != std::string::npos &&
                           e + 1 < token.size() && token[e + 1] != '-';
    if (ueberlauf && stop == daten.data() + ende) {
      if (aus.empty()) aus = daten;
      const std::string ersatz = c == '-' ? "\"-inf\"" : "\"inf\"";
      aus.replace(i, ende - i, ersatz + std::string(ende - i - ersatz.size(), ' '));
    }
    i = ende - 1;
  }
  return aus.empty() ? daten : aus;
}

ErrorCode JsonLesen(const std::string& eingabe, Programmtabelle* ziel, Formatfehler* f) {
  DoppelteSchluessel doppelt;
  Json doc;
  const std::string daten = UeberlaufAlsUnendlich(eingabe);
  try {
    doc = Json::parse(daten, std::ref(doppelt));
  } catch (const Json::parse_error& e) {
    int zeile = 0, spalte = 0;
    Stelle(daten, e.byte > 0 ? e.byte - 1 : 0, &zeile, &spalte);
    return Melden(f, FORMAT_AUFBAU, Fehlerart::Syntax, -1, -1, "", zeile, spalte);
  } catch (const Json::exception&) {
    // A number beyond any double, for one: no place is known.
    return Melden(f, FORMAT_AUFBAU, Fehlerart::Syntax, -1, -1, "");
  }
  if (doppelt.gefunden) {
    // The parser counts program objects; the message names the slot that object
    // gives itself, where it gives a valid one.
    int slot = -1;
    if (doppelt.slot >= 0 && doc.is_object() && doc.contains(kProgramme) && doc[kProgramme].is_array() &&
        static_cast<std::size_t>(doppelt.slot) < doc[kProgramme].size()) {
      const Json& p = doc[kProgramme][static_cast<std::size_t>(doppelt.slot)];
      if (p.is_object() && p.contains(kSlot) && p[kSlot].is_number_integer()) {
        const std::int64_t n = p[kSlot].get<std::int64_t>();
        if (n >= 0 && n < PROGRAMM_SLOTS) slot = static_cast<int>(n);
      }
    }
    return Melden(f, FORMAT_AUFBAU, Fehlerart::FeldDoppelt, slot, -1, doppelt.schluessel);
  }
  if (!doc.is_object()) return Melden(f, FORMAT_AUFBAU, Fehlerart::Aufbau, -1, -1, "");
  for (const auto& eintrag : doc.items()) {
    if (eintrag.key() != kAuswahl && eintrag.key() != kProgramme)
      return Melden(f, FORMAT_AUFBAU, Fehlerart::FeldUnbekannt, -1, -1, eintrag.key());
  }
  if (!doc.contains(kProgramme) || !doc[kProgramme].is_array())
    return Melden(f, FORMAT_AUFBAU, Fehlerart::FeldFehlt, -1, -1, kProgramme);
  const Json& programme = doc[kProgramme];
  if (programme.size() > PROGRAMM_SLOTS)
    return Melden(f, FORMAT_AUFBAU, Fehlerart::ZuVieleSlots, -1, -1, std::to_string(programme.size()));
  if (!doc.contains(kAuswahl)) return Melden(f, FORMAT_AUFBAU, Fehlerart::FeldFehlt, -1, -1, kAuswahl);

  Programmtabelle t = StandardTabelle();
  t.vorhanden = 0;
  std::int32_t auswahl = 0;
  if (!JsonGanzzahl(doc[kAuswahl], &auswahl) || auswahl < 0 || auswahl >= PROGRAMM_SLOTS)
    return Melden(f, FORMAT_WERT, Fehlerart::Wert, -1, -1, WertText(doc[kAuswahl]));
  t.auswahl = auswahl;

  for (int slot = 0; slot < static_cast<int>(programme.size()); ++slot) {
    const Json& p = programme[static_cast<std::size_t>(slot)];
    if (p.is_null()) continue;  // a slot the file does not hold
    if (!p.is_object()) return Melden(f, FORMAT_AUFBAU, Fehlerart::Aufbau, slot, -1, "");
    t.vorhanden |= 1u << slot;
    std::int32_t nummer = -1;
    if (p.contains(kSlot) && !(JsonGanzzahl(p[kSlot], &nummer) && nummer == slot)) {
      if (nummer < 0 || nummer >= PROGRAMM_SLOTS)
        return Melden(f, FORMAT_AUFBAU, Fehlerart::SlotUngueltig, slot, -1, WertText(p[kSlot]));
      // The programs stand in slot order: an earlier slot already read is one
      // given twice; any other stands in another slot's place.
      if (SlotVorhanden(t, nummer)) return Melden(f, FORMAT_AUFBAU, Fehlerart::SlotDoppelt, nummer, -1, "");
      return Melden(f, FORMAT_AUFBAU, Fehlerart::SlotStelle, nummer, -1, std::to_string(slot));
    }
    for (const auto& eintrag : p.items()) {
      const std::string& schluessel = eintrag.key();
      const bool bekannt =
          schluessel == kSlot || std::any_of(std::begin(PROGRAMMFELDER), std::end(PROGRAMMFELDER),
                                             [&](const Programmfeld& feld) { return schluessel == feld.name; });
      if (!bekannt) return Melden(f, FORMAT_AUFBAU, Fehlerart::FeldUnbekannt, slot, -1, schluessel);
    }
    for (int i = 0; i < PROGRAMMFELDER_ANZAHL; ++i) {
      const Programmfeld& feld = PROGRAMMFELDER[i];
      if (!p.contains(feld.name)) return Melden(f, FORMAT_AUFBAU, Fehlerart::FeldFehlt, slot, i, "");
      const Json& wert = p[feld.name];
      const bool gut = feld.ganz != nullptr ? JsonGanzzahl(wert, &(t.slots[slot].*feld.ganz))
                                            : JsonZahl(wert, &(t.slots[slot].*feld.reell));
      if (!gut) return Melden(f, FORMAT_WERT, Fehlerart::Wert, slot, i, WertText(wert));
    }
  }
  *ziel = t;
  return 0;
}

// ---- CSV ----

// One CSV row and the line it starts on.
struct CsvZeile {
  std::vector<std::string> felder;
  int zeile;
};

// Splits CSV text into rows of fields (RFC 4180 quoting; LF or CRLF) between
// `trenner`. On a quote not closed, or one inside or after a field, reports the
// place and returns false.
bool CsvZerlegen(const std::string& text, char trenner, std::vector<CsvZeile>* zeilen, Formatfehler* f) {
  std::vector<std::string> zeile;
  std::string feld;
  bool zitiert = false, warZitiert = false;
  int nummer = 1, anfang = 1;
  std::size_t zitatAnfang = 0;
  auto fehler = [&](std::size_t stelle) {
    Melden(f, FORMAT_AUFBAU, Fehlerart::Syntax, -1, -1, "", 0, 0);
    if (f != nullptr) Stelle(text, stelle, &f->zeile, &f->spalte);
    return false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (zitiert) {
      if (c == '\n') ++nummer;
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
      if (!feld.empty() || warZitiert) return fehler(i);
      zitiert = warZitiert = true;
      zitatAnfang = i;
    } else if (c == trenner) {
      zeile.push_back(std::move(feld));
      feld.clear();
      warZitiert = false;
    } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      zeile.push_back(std::move(feld));
      feld.clear();
      warZitiert = false;
      zeilen->push_back({std::move(zeile), anfang});
      zeile.clear();
      anfang = ++nummer;
    } else if (warZitiert) {
      return fehler(i);  // text after the closing quote
    } else {
      feld += c;
    }
  }
  if (zitiert) return fehler(zitatAnfang);
  if (!feld.empty() || warZitiert || !zeile.empty()) {
    zeile.push_back(std::move(feld));
    zeilen->push_back({std::move(zeile), anfang});
  }
  return true;
}

std::vector<std::string> CsvKopf() {
  std::vector<std::string> kopf = {kSlot, kAuswahl};
  for (const Programmfeld& feld : PROGRAMMFELDER) kopf.emplace_back(feld.name);
  return kopf;
}

// A number as a German spreadsheet writes it: a decimal comma, and dots only
// between groups of three digits of the whole part ("12.345.678,5"). Returned in
// the C notation; false when a dot stands anywhere else (a point as decimal mark,
// "1.5", would otherwise be read as 15 or 1.5 by guess).
bool DeutscheZahl(const std::string& feld, std::string* zahl) {
  const std::size_t anfang = !feld.empty() && (feld[0] == '-' || feld[0] == '+') ? 1 : 0;
  const std::size_t ende = std::min(feld.find(','), feld.find_first_of("eE", anfang));
  const std::string ganz = feld.substr(anfang, ende == std::string::npos ? std::string::npos : ende - anfang);
  const std::string rest = ende == std::string::npos ? "" : feld.substr(ende);
  if (rest.find('.') != std::string::npos) return false;
  std::string ohne;
  if (ganz.find('.') != std::string::npos) {
    // Groups of three after a head of one to three digits.
    std::size_t gruppe = ganz.find('.');
    if (gruppe == 0 || gruppe > 3) return false;
    for (std::size_t i = gruppe; i < ganz.size(); i += 4) {
      if (ganz[i] != '.' || i + 4 > ganz.size()) return false;
      for (std::size_t k = i + 1; k < i + 4; ++k)
        if (ganz[k] < '0' || ganz[k] > '9') return false;
    }
    for (std::size_t k = 0; k < gruppe; ++k)
      if (ganz[k] < '0' || ganz[k] > '9') return false;
    for (char c : ganz)
      if (c != '.') ohne += c;
  } else {
    ohne = ganz;
  }
  *zahl = feld.substr(0, anfang) + ohne + rest;
  std::replace(zahl->begin(), zahl->end(), ',', '.');
  return true;
}

ErrorCode CsvLesen(const std::string& text, Programmtabelle* ziel, Formatfehler* f) {
  // Spreadsheets write "CSV UTF-8" with a byte-order mark; it carries nothing.
  const std::string_view bom = "\xEF\xBB\xBF";
  const std::string daten = text.compare(0, bom.size(), bom) == 0 ? text.substr(bom.size()) : text;
  // A spreadsheet set to German writes semicolons between fields and a decimal
  // comma; its header shows the semicolon, as no field name holds one.
  const bool deutsch = std::string_view(daten).substr(0, daten.find('\n')).find(';') != std::string_view::npos;
  std::vector<CsvZeile> zeilen;
  if (!CsvZerlegen(daten, deutsch ? ';' : ',', &zeilen, f)) return f != nullptr ? f->code : FORMAT_AUFBAU;
  // Blank lines carry nothing, nor do the rows of bare separators a spreadsheet
  // leaves below the table.
  std::erase_if(zeilen, [](const CsvZeile& z) {
    return std::all_of(z.felder.begin(), z.felder.end(), [](const std::string& feld) { return feld.empty(); });
  });
  // A spreadsheet that ends every line with a separator leaves one empty column
  // after the last: it carries nothing.
  const std::vector<std::string> kopf = CsvKopf();
  for (CsvZeile& z : zeilen)
    if (z.felder.size() == kopf.size() + 1 && z.felder.back().empty()) z.felder.pop_back();
  if (zeilen.empty()) return Melden(f, FORMAT_AUFBAU, Fehlerart::FeldFehlt, -1, -1, kSlot, 1, 1);
  for (std::size_t i = 0; i < std::max(kopf.size(), zeilen[0].felder.size()); ++i) {
    if (i >= zeilen[0].felder.size())
      return Melden(f, FORMAT_AUFBAU, Fehlerart::FeldFehlt, -1, -1, kopf[i], zeilen[0].zeile);
    if (i >= kopf.size() || zeilen[0].felder[i] != kopf[i])
      return Melden(f, FORMAT_AUFBAU, Fehlerart::Aufbau, -1, -1, zeilen[0].felder[i], zeilen[0].zeile,
                    static_cast<int>(i) + 1);
  }

  Programmtabelle t = StandardTabelle();
  t.vorhanden = 0;
  bool gesehen[PROGRAMM_SLOTS] = {};
  int ausgewaehlt = 0;
  for (std::size_t z = 1; z < zeilen.size(); ++z) {
    const std::vector<std::string>& zeile = zeilen[z].felder;
    const int nummer = zeilen[z].zeile;
    // The header chose the separator; a line split by the other one is a second
    // dialect (with semicolons a comma is also the decimal mark: only a line that
    // is one field of commas counts).
    for (std::size_t i = 0; i < zeile.size(); ++i) {
      if (zeile[i].find(deutsch ? ',' : ';') != std::string::npos && (!deutsch || zeile.size() == 1))
        return Melden(f, FORMAT_AUFBAU, Fehlerart::Dialekt, -1, -1, zeile[i], nummer, static_cast<int>(i) + 1);
    }
    if (zeile.size() != kopf.size())
      return Melden(f, FORMAT_AUFBAU, Fehlerart::Spaltenzahl, -1, -1, std::to_string(zeile.size()), nummer);
    std::int32_t slot = -1;
    if (!GanzzahlLesen(zeile[0], &slot) || slot < 0 || slot >= PROGRAMM_SLOTS)
      return Melden(f, FORMAT_AUFBAU, Fehlerart::SlotUngueltig, -1, -1, zeile[0], nummer, 1);
    if (gesehen[slot]) return Melden(f, FORMAT_AUFBAU, Fehlerart::SlotDoppelt, slot, -1, "", nummer, 1);
    gesehen[slot] = true;
    t.vorhanden |= 1u << slot;
    if (zeile[1] == "1") {
      t.auswahl = slot;
      ++ausgewaehlt;
    } else if (zeile[1] != "0") {
      return Melden(f, FORMAT_WERT, Fehlerart::Wert, slot, -1, zeile[1], nummer, 2);
    }
    for (int i = 0; i < PROGRAMMFELDER_ANZAHL; ++i) {
      const Programmfeld& feld = PROGRAMMFELDER[i];
      const std::string& wert = zeile[2 + static_cast<std::size_t>(i)];
      std::string zahl = wert;
      if (deutsch && !DeutscheZahl(wert, &zahl))
        return Melden(f, FORMAT_WERT, Fehlerart::Dialekt, slot, i, wert, nummer, 3 + i);
      const bool gut = feld.ganz != nullptr ? GanzzahlLesen(zahl, &(t.slots[slot].*feld.ganz))
                                            : ZahlLesen(zahl, &(t.slots[slot].*feld.reell));
      if (!gut) return Melden(f, FORMAT_WERT, Fehlerart::Wert, slot, i, wert, nummer, 3 + i);
    }
  }
  if (ausgewaehlt != 1) return Melden(f, FORMAT_WERT, Fehlerart::Auswahl, -1, -1, std::to_string(ausgewaehlt));
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
  if (std::isnan(wert)) {
    std::uint64_t bits;
    std::memcpy(&bits, &wert, sizeof bits);
    std::string text = (bits & kVorzeichen) != 0 ? "-nan" : "nan";
    if ((bits & kBruch) == kRuhigesNan) return text;
    char hex[24];
    const auto r = std::to_chars(hex, hex + sizeof hex, bits & kBruch, 16);
    return text + "(0x" + std::string(hex, r.ptr) + ")";
  }
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
    if (!SlotVorhanden(t, slot)) {
      programme.push_back(nullptr);
      continue;
    }
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
    if (!SlotVorhanden(t, slot)) continue;
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
      if (code != 0)
        return Melden(fehler, code, Fehlerart::Programmdatei, -1, -1,
                      std::to_string(code == PROGRAMMDATEI_FALSCHE_VERSION ? static_cast<long long>(version)
                                                                           : static_cast<long long>(daten.size())));
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
  return Melden(fehler, FORMAT_AUFBAU, Fehlerart::Aufbau, -1, -1, "");
}
