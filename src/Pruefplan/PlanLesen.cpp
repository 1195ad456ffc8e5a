// A test plan from TOML: every key known, every value with its unit and inside
// the device's range, each fault with its line and column.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>
#include <string_view>

#include <toml++/toml.h>

#include "Programmformate/Programmdateien.h"
#include "Programmformate/Programmformate.h"
#include "Pruefplan/Pruefplan.h"
#include "Pruefplan/Sha256.h"
#include "Verlauf/VerlaufDaten.h"
#include "OLQ_errorV3/OLQ_errorV3.h"
#include "common/Dateizugriff.h"

namespace {

// Longest times a plan may ask for: long enough for any endurance run, short
// enough that the sample count stays bounded.
constexpr double kLaengsteDauer = 7 * 24 * 3600.0;
constexpr double kLaengstesIntervall = 3600.0;
// Samples one measurement may hold (about 80 MB of record at most).
constexpr double kMeisteProben = 2e6;

// The plan's fault, thrown from deep in the walk and caught once.
struct Fehler {
  Planfehler f;
};

class Leser {
 public:
  Leser(std::string ordner, bool englisch) : ordner_(std::move(ordner)), en_(englisch) {}

  const char* T(const char* de, const char* en) const { return en_ ? en : de; }

  [[noreturn]] void Werfen(ErrorCode code, const toml::source_region& ort, const std::string& text) const {
    throw Fehler{{code, static_cast<int>(ort.begin.line), static_cast<int>(ort.begin.column), text}};
  }

  // Only these keys; the first other one is named where it stands.
  void NurSchluessel(const toml::table& t, std::initializer_list<const char*> erlaubt, const std::string& wo) const {
    for (auto&& [k, v] : t) {
      bool bekannt = false;
      for (const char* e : erlaubt) bekannt = bekannt || k.str() == e;
      if (bekannt) continue;
      std::string liste;
      for (const char* e : erlaubt) liste += std::string(liste.empty() ? "" : ", ") + e;
      Werfen(PLAN_UNBEKANNT, k.source().begin.line != 0 ? k.source() : v.source(),
             T("unbekannter Schlüssel \"", "unknown key \"") + std::string(k.str()) + "\"" +
                 (wo.empty() ? "" : T(" in ", " in ") + wo) + T("; erlaubt: ", "; allowed: ") + liste);
    }
  }

  const toml::node& Pflicht(const toml::table& t, const char* key, const toml::source_region& ort) const {
    const toml::node* n = t.get(key);
    if (n == nullptr) Werfen(PLAN_FEHLT, ort, T("Schlüssel \"", "key \"") + std::string(key) + T("\" fehlt", "\" missing"));
    return *n;
  }

  std::string Text(const toml::node& n, const char* key) const {
    if (!n.is_string()) Werfen(PLAN_WERT, n.source(), std::string(key) + T(": ein Text in \"\"", ": a text in \"\""));
    return n.as_string()->get();
  }

  // "5 s", "500 ms", "2.0 A", "5 %": the number, and the factor of its unit
  // among `einheiten` (unit, factor); a bare number is refused, naming an example.
  double MitEinheit(const toml::node& n, const char* key, std::initializer_list<std::pair<const char*, double>> einheiten,
                    const char* beispiel) const {
    std::string liste;
    for (const auto& e : einheiten) liste += std::string(liste.empty() ? "" : ", ") + e.first;
    if (n.is_integer() || n.is_floating_point())
      Werfen(PLAN_WERT, n.source(),
             std::string(key) + T(": Einheit fehlt, z. B. \"", ": unit missing, e.g. \"") + beispiel + "\" (" + liste + ")");
    const std::string text = Text(n, key);
    const char* a = text.data();
    const char* ende = text.data() + text.size();
    while (a < ende && *a == ' ') ++a;
    double wert = 0;
    const auto r = std::from_chars(a, ende, wert);
    if (r.ec != std::errc() || !std::isfinite(wert))
      Werfen(PLAN_WERT, n.source(), std::string(key) + " = \"" + text + T("\": keine Zahl mit Einheit, z. B. \"", "\": not a number with a unit, e.g. \"") + beispiel + "\"");
    std::string_view einheit(r.ptr, static_cast<std::size_t>(ende - r.ptr));
    while (!einheit.empty() && einheit.front() == ' ') einheit.remove_prefix(1);
    while (!einheit.empty() && einheit.back() == ' ') einheit.remove_suffix(1);
    if (einheit.empty())
      Werfen(PLAN_WERT, n.source(),
             std::string(key) + " = \"" + text + T("\": Einheit fehlt (", "\": unit missing (") + liste + ")");
    for (const auto& e : einheiten)
      if (einheit == e.first) return wert * e.second;
    Werfen(PLAN_WERT, n.source(), std::string(key) + " = \"" + text + T("\": Einheit ", "\": unit ") + liste);
  }

  double Zeit(const toml::node& n, const char* key, double groesste) const {
    const double s = MitEinheit(n, key, {{"ms", 0.001}, {"s", 1.0}, {"min", 60.0}, {"h", 3600.0}}, "5 s");
    if (!(s >= 0) || s > groesste) {
      char t[96];
      std::snprintf(t, sizeof t, T(": 0 s bis %.0f s", ": 0 s to %.0f s"), groesste);
      Werfen(PLAN_BEREICH, n.source(), std::string(key) + t);
    }
    return s;
  }

  double Physikalisch(const toml::node& n, const char* key, Groesse g) const {
    return g == Groesse::Strom ? MitEinheit(n, key, {{"A", 1.0}, {"mA", 0.001}}, "2.0 A")
                               : MitEinheit(n, key, {{"V", 1.0}, {"mV", 0.001}}, "12.0 V");
  }

  std::int64_t Ganz(const toml::node& n, const char* key) const {
    if (n.is_boolean()) return n.as_boolean()->get() ? 1 : 0;
    if (!n.is_integer()) Werfen(PLAN_WERT, n.source(), std::string(key) + T(": eine ganze Zahl", ": a whole number"));
    return n.as_integer()->get();
  }

  bool OnFail(const toml::table& t, bool vorgabe) const {
    const toml::node* n = t.get("on_fail");
    if (n == nullptr) return vorgabe;
    const std::string w = Text(*n, "on_fail");
    if (w == "stop") return false;
    if (w == "continue") return true;
    Werfen(PLAN_UNBEKANNT, n->source(), "on_fail = \"" + w + T("\": \"stop\" oder \"continue\"", "\": \"stop\" or \"continue\""));
  }

  // A field's value as the plan writes it: the unit of the field's quantity.
  void Feldwert(const toml::node& n, const Programmfeld& feld, ProgramRecord* rec) const {
    const std::string name = feld.name;
    double wert = 0;
    if (feld.ganz != nullptr) {
      wert = static_cast<double>(Ganz(n, feld.name));
    } else if (name == "strom1" || name == "strom2") {
      wert = Physikalisch(n, feld.name, Groesse::Strom);
    } else if (name == "spannung") {
      wert = Physikalisch(n, feld.name, Groesse::Spannung);
    } else if (name == "zeit1" || name == "zeit2") {
      wert = MitEinheit(n, feld.name, {{"ms", 1.0}, {"s", 1000.0}, {"min", 60000.0}}, "500 ms");
    } else if (name == "frequenz") {
      wert = MitEinheit(n, feld.name, {{"Hz", 1.0}, {"kHz", 1000.0}}, "1000 Hz");
    } else if (name == "regelgeschwindigkeit") {
      wert = MitEinheit(n, feld.name, {{"%", 1.0}}, "100 %");
    } else {  // zyklen: a count
      if (!n.is_integer() && !n.is_floating_point())
        Werfen(PLAN_WERT, n.source(), name + T(": eine Zahl", ": a number"));
      wert = n.value<double>().value_or(0);
    }
    ProgramRecord probe = *rec;
    if (feld.ganz != nullptr) {
      probe.*feld.ganz = static_cast<std::int32_t>(std::clamp<double>(wert, INT32_MIN, INT32_MAX));
      if (wert < INT32_MIN || wert > INT32_MAX) probe.*feld.ganz = INT32_MIN;  // outside every range
    } else {
      probe.*feld.reell = wert;
    }
    if (!FeldImBereich(probe, feld))
      Werfen(PLAN_BEREICH, n.source(), name + " = " + ZahlText(wert) + T("; erlaubt: ", "; allowed: ") + BereichText(feld));
    *rec = probe;
  }

  void Werte(const toml::table& t, ProgramRecord* rec) const {
    for (auto&& [k, v] : t) {
      const Programmfeld* feld = nullptr;
      for (const Programmfeld& f : PROGRAMMFELDER)
        if (k.str() == f.name) feld = &f;
      if (feld == nullptr) {
        std::string liste;
        for (const Programmfeld& f : PROGRAMMFELDER) liste += std::string(liste.empty() ? "" : ", ") + f.name;
        Werfen(PLAN_UNBEKANNT, k.source(), T("unbekanntes Feld \"", "unknown field \"") + std::string(k.str()) +
                                               T("\"; Felder: ", "\"; fields: ") + liste);
      }
      Feldwert(v, *feld, rec);
    }
  }

  // A program from a file of the formats the command line reads; every field
  // checked as if the plan had written it.
  void AusDatei(const toml::node& n, const toml::node* slotKnoten, ProgramRecord* rec, std::string* quelle) const {
    const std::string name = Text(n, "file");
    std::string pfad = name;
    const bool absolut = !pfad.empty() && (pfad[0] == '/' || pfad[0] == '\\' || (pfad.size() > 1 && pfad[1] == ':'));
    if (!absolut && !ordner_.empty()) pfad = ordner_ + "/" + pfad;
    const Dateiformat format = FormatAusName(pfad);
    if (format == Dateiformat::Unbekannt)
      Werfen(PLAN_WERT, n.source(), "file = \"" + name + T("\": .zpk, .json oder .csv", "\": .zpk, .json or .csv"));
    std::string daten;
    int sys = 0;
    if (ErrorCode err = DateiRohLesen(pfad, &daten, &sys); err != 0)
      Werfen(err, n.source(), pfad + (sys != 0 ? ": " + Systemgrund(sys, en_) : std::string()));
    Programmtabelle tab{};
    Formatfehler ff{};
    if (ErrorCode err = TabelleLesen(format, daten, &tab, &ff); err != 0)
      Werfen(err, n.source(), pfad + ": " + FormatfehlerSatz(ff, format));
    int slot = tab.auswahl;
    if (slotKnoten != nullptr) {
      const std::int64_t s = Ganz(*slotKnoten, "slot");
      if (s < 0 || s > 16) Werfen(PLAN_BEREICH, slotKnoten->source(), T("slot: 0 bis 16", "slot: 0 to 16"));
      slot = static_cast<int>(s);
    }
    if (!SlotVorhanden(tab, slot))
      Werfen(PLAN_WERT, n.source(), pfad + T(": kein Programm in Slot ", ": no program in slot ") + std::to_string(slot));
    for (const Programmfeld& f : PROGRAMMFELDER) {
      if (!FeldImBereich(tab.slots[slot], f))
        Werfen(PLAN_BEREICH, n.source(), pfad + ": " + BereichsfehlerText(slot, f, tab.slots[slot]));
    }
    *rec = tab.slots[slot];
    *quelle = name;
  }

  int Statusbits(const toml::node& n, const char* key) const {
    const toml::array* a = n.as_array();
    if (a == nullptr) Werfen(PLAN_WERT, n.source(), std::string(key) + T(": eine Liste von Namen", ": a list of names"));
    int bits = 0;
    for (const toml::node& e : *a) {
      const std::string name = Text(e, key);
      int bit = 0;
      for (bool englisch : {false, true}) {
        for (const VerlaufStatusName& s : VerlaufStatusbitNamen(englisch)) {
          if (GleichOhneFall(name, s.name)) bit = s.bit;
        }
      }
      if (bit == 0) {
        std::string liste;
        for (const VerlaufStatusName& s : VerlaufStatusbitNamen(en_)) liste += std::string(liste.empty() ? "\"" : ", \"") + s.name + "\"";
        Werfen(PLAN_UNBEKANNT, e.source(), T("unbekanntes Statusbit \"", "unknown status bit \"") + name + T("\"; Namen: ", "\"; names: ") + liste);
      }
      bits |= bit;
    }
    return bits;
  }

  static bool GleichOhneFall(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
      if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
  }

  Grenze GrenzeLesen(const toml::table& t) const {
    NurSchluessel(t, {"quantity", "on", "min", "max", "nominal", "tolerance"}, "[[step.limit]]");
    Grenze g;
    const toml::node& q = Pflicht(t, "quantity", t.source());
    const std::string groesse = Text(q, "quantity");
    if (groesse == "current") {
      g.groesse = Groesse::Strom;
    } else if (groesse == "voltage") {
      g.groesse = Groesse::Spannung;
    } else {
      Werfen(PLAN_UNBEKANNT, q.source(), "quantity = \"" + groesse + T("\": \"current\" oder \"voltage\"", "\": \"current\" or \"voltage\""));
    }
    const toml::node& aufKnoten = Pflicht(t, "on", t.source());
    const std::string auf = Text(aufKnoten, "on");
    if (auf == "sample") {
      g.auf = Bewertung::Probe;
    } else if (auf == "mean") {
      g.auf = Bewertung::Mittel;
    } else if (auf == "min") {
      g.auf = Bewertung::Minimum;
    } else if (auf == "max") {
      g.auf = Bewertung::Maximum;
    } else {
      Werfen(PLAN_UNBEKANNT, aufKnoten.source(), "on = \"" + auf + "\": \"sample\", \"mean\", \"min\" " + T("oder", "or") + " \"max\"");
    }
    const toml::node* mi = t.get("min");
    const toml::node* ma = t.get("max");
    const toml::node* no = t.get("nominal");
    const toml::node* to = t.get("tolerance");
    const char* einheit = g.groesse == Groesse::Strom ? "A" : "V";
    auto text = [einheit](double v) {
      char b[48];
      std::snprintf(b, sizeof b, "%s %s", ZahlText(v).c_str(), einheit);
      return std::string(b);
    };
    if (no != nullptr) {
      if (mi != nullptr || ma != nullptr)
        Werfen(PLAN_WERT, no->source(), T("nominal und tolerance oder min/max, nicht beides", "nominal with tolerance, or min/max, not both"));
      if (to == nullptr) Werfen(PLAN_FEHLT, no->source(), T("tolerance fehlt zu nominal", "tolerance missing for nominal"));
      const double nenn = Physikalisch(*no, "nominal", g.groesse);
      double tol = 0;
      std::string tolText;
      if (to->is_string() && to->as_string()->get().find('%') != std::string::npos) {
        const double prozent = MitEinheit(*to, "tolerance", {{"%", 1.0}}, "5 %");
        tol = std::fabs(nenn) * prozent / 100.0;
        tolText = ZahlText(prozent) + " %";
      } else {
        tol = Physikalisch(*to, "tolerance", g.groesse);
        tolText = text(tol);
      }
      if (!(tol >= 0)) Werfen(PLAN_BEREICH, to->source(), T("tolerance: nicht negativ", "tolerance: not negative"));
      g.unten = nenn - tol;
      g.oben = nenn + tol;
      g.text = text(nenn) + " \xC2\xB1 " + tolText;
      return g;
    }
    if (to != nullptr) Werfen(PLAN_WERT, to->source(), T("tolerance nur mit nominal", "tolerance only with nominal"));
    if (mi == nullptr && ma == nullptr)
      Werfen(PLAN_FEHLT, t.source(), T("min, max oder nominal mit tolerance fehlt", "min, max, or nominal with tolerance missing"));
    if (mi != nullptr) g.unten = Physikalisch(*mi, "min", g.groesse);
    if (ma != nullptr) g.oben = Physikalisch(*ma, "max", g.groesse);
    if (g.unten > g.oben) Werfen(PLAN_BEREICH, ma->source(), T("max liegt unter min", "max is below min"));
    g.text = mi != nullptr && ma != nullptr ? text(g.unten) + " .. " + text(g.oben)
             : mi != nullptr                ? "\xE2\x89\xA5 " + text(g.unten)
                                            : "\xE2\x89\xA4 " + text(g.oben);
    return g;
  }

  Schritt SchrittLesen(const toml::table& t, bool weiter) const {
    Schritt s;
    s.zeile = static_cast<int>(t.source().begin.line);
    const toml::node& artKnoten = Pflicht(t, "type", t.source());
    const std::string art = Text(artKnoten, "type");
    s.weiterBeiFehler = OnFail(t, weiter);
    if (const toml::node* n = t.get("name")) s.name = Text(*n, "name");
    if (art == "write") {
      NurSchluessel(t, {"type", "name", "on_fail", "program", "values", "file", "slot"}, "write");
      s.art = Schrittart::Schreiben;
      s.quelle = "plan";
      const toml::node* werte = t.get("values");
      const toml::node* datei = t.get("file");
      if ((werte == nullptr) == (datei == nullptr))
        Werfen(PLAN_FEHLT, t.source(), T("write braucht values oder file (eines)", "write needs values or file (one of them)"));
      if (t.get("slot") != nullptr && datei == nullptr) Werfen(PLAN_WERT, t.get("slot")->source(), T("slot nur mit file", "slot only with file"));
      if (werte != nullptr) {
        if (!werte->is_table()) Werfen(PLAN_WERT, werte->source(), T("values: eine Tabelle", "values: a table"));
        Werte(*werte->as_table(), &s.satz);
      } else {
        AusDatei(*datei, t.get("slot"), &s.satz, &s.quelle);
      }
      if (const toml::node* p = t.get("program")) {
        const std::int64_t n = Ganz(*p, "program");
        if (n < 0 || n > 16) Werfen(PLAN_BEREICH, p->source(), T("program: 0 (Arbeitsparameter) bis 16", "program: 0 (working parameters) to 16"));
        s.programm = static_cast<int>(n);
      }
    } else if (art == "load") {
      NurSchluessel(t, {"type", "name", "on_fail", "program"}, "load");
      s.art = Schrittart::Laden;
      const toml::node& p = Pflicht(t, "program", t.source());
      const std::int64_t n = Ganz(p, "program");
      if (n < 1 || n > 16) Werfen(PLAN_BEREICH, p.source(), T("program: 1 bis 16", "program: 1 to 16"));
      s.programm = static_cast<int>(n);
    } else if (art == "start" || art == "stop" || art == "clear") {
      NurSchluessel(t, {"type", "name", "on_fail"}, art);
      s.art = art == "start" ? Schrittart::Start : art == "stop" ? Schrittart::Stopp : Schrittart::FehlerLoeschen;
    } else if (art == "wait") {
      NurSchluessel(t, {"type", "name", "on_fail", "time"}, "wait");
      s.art = Schrittart::Warten;
      s.dauer = Zeit(Pflicht(t, "time", t.source()), "time", kLaengsteDauer);
    } else if (art == "measure") {
      NurSchluessel(t, {"type", "name", "on_fail", "interval", "duration", "settle", "limit", "status_set", "status_clear", "status_on"},
                    "measure");
      s.art = Schrittart::Messen;
      const toml::node& iv = Pflicht(t, "interval", t.source());
      s.intervall = Zeit(iv, "interval", kLaengstesIntervall);
      s.intervallZeile = static_cast<int>(iv.source().begin.line);
      s.intervallSpalte = static_cast<int>(iv.source().begin.column);
      if (!(s.intervall > 0)) Werfen(PLAN_BEREICH, iv.source(), T("interval: mehr als 0 s", "interval: more than 0 s"));
      s.dauer = Zeit(Pflicht(t, "duration", t.source()), "duration", kLaengsteDauer);
      if (s.dauer / s.intervall > kMeisteProben)
        Werfen(PLAN_BEREICH, t.get("duration")->source(),
               T("duration/interval: höchstens 2000000 Proben", "duration/interval: at most 2000000 samples"));
      if (const toml::node* e = t.get("settle")) s.einschwingen = Zeit(*e, "settle", kLaengsteDauer);
      if (const toml::node* l = t.get("limit")) {
        const toml::array* a = l->as_array();
        if (a == nullptr) Werfen(PLAN_WERT, l->source(), T("limit: [[step.limit]]-Tabellen", "limit: [[step.limit]] tables"));
        for (const toml::node& e : *a) {
          if (!e.is_table()) Werfen(PLAN_WERT, e.source(), T("limit: [[step.limit]]-Tabellen", "limit: [[step.limit]] tables"));
          s.grenzen.push_back(GrenzeLesen(*e.as_table()));
        }
      }
      if (const toml::node* n = t.get("status_set")) s.statusGesetzt = Statusbits(*n, "status_set");
      if (const toml::node* n = t.get("status_clear")) s.statusFrei = Statusbits(*n, "status_clear");
      if ((s.statusGesetzt & s.statusFrei) != 0)
        Werfen(PLAN_WERT, t.get("status_clear")->source(), T("ein Bit soll gesetzt und frei sein", "a bit required both set and clear"));
      if (const toml::node* n = t.get("status_on")) {
        const std::string w = Text(*n, "status_on");
        if (w != "sample" && w != "end")
          Werfen(PLAN_UNBEKANNT, n->source(), "status_on = \"" + w + T("\": \"sample\" oder \"end\"", "\": \"sample\" or \"end\""));
        s.statusAmEnde = w == "end";
      }
    } else {
      Werfen(PLAN_UNBEKANNT, artKnoten.source(),
             "type = \"" + art + "\": write, load, start, stop, clear, wait " + T("oder", "or") + " measure");
    }
    if (s.name.empty()) s.name = art + (s.art == Schrittart::Laden || (s.art == Schrittart::Schreiben && s.programm != 0)
                                            ? " " + std::to_string(s.programm)
                                            : std::string());
    return s;
  }

  void PlanWalk(const toml::table& wurzel, Pruefplan* plan) const {
    NurSchluessel(wurzel, {"name", "description", "on_fail", "step"}, "");
    plan->name = Text(Pflicht(wurzel, "name", wurzel.source()), "name");
    if (const toml::node* d = wurzel.get("description")) plan->beschreibung = Text(*d, "description");
    const bool weiter = OnFail(wurzel, false);
    const toml::node* schritte = wurzel.get("step");
    if (schritte == nullptr || !schritte->is_array() || schritte->as_array()->empty())
      Werfen(PLAN_FEHLT, schritte != nullptr ? schritte->source() : wurzel.source(),
             T("keine Schritte: [[step]] fehlt", "no steps: [[step]] missing"));
    for (const toml::node& e : *schritte->as_array()) {
      if (!e.is_table()) Werfen(PLAN_WERT, e.source(), T("step: [[step]]-Tabellen", "step: [[step]] tables"));
      plan->schritte.push_back(SchrittLesen(*e.as_table(), weiter));
    }
  }

 private:
  std::string ordner_;
  bool en_;
};

// Details in the catalogue's language, as every message's text.
bool Englisch() { return OLQ_FehlerspracheLesen() == 2; }

}  // namespace

ErrorCode PlanLesen(const std::string& text, const std::string& ordner, Pruefplan* plan, Planfehler* fehler) {
  Leser leser(ordner, Englisch());
  Pruefplan neu;
  try {
    const toml::table wurzel = toml::parse(text);
    leser.PlanWalk(wurzel, &neu);
  } catch (const toml::parse_error& e) {
    *fehler = {PLAN_SYNTAX, static_cast<int>(e.source().begin.line), static_cast<int>(e.source().begin.column),
               std::string(e.description())};
    return PLAN_SYNTAX;
  } catch (const Fehler& f) {
    *fehler = f.f;
    return f.f.code;
  }
  neu.sha256 = Sha256Hex(text);
  neu.datei = plan->datei;
  *plan = std::move(neu);
  return 0;
}

ErrorCode PlanDateiLesen(const std::string& pfad, Pruefplan* plan, Planfehler* fehler) {
  std::string daten;
  int sys = 0;
  if (ErrorCode err = DateiRohLesen(pfad, &daten, &sys); err != 0) {
    *fehler = {err, 0, 0, sys != 0 ? Systemgrund(sys, Englisch()) : std::string()};
    return err;
  }
  const std::size_t schraeg = pfad.find_last_of("/\\");
  Pruefplan neu;
  neu.datei = pfad;
  if (ErrorCode err = PlanLesen(daten, schraeg == std::string::npos ? "" : pfad.substr(0, schraeg), &neu, fehler); err != 0)
    return err;
  *plan = std::move(neu);
  return 0;
}

std::string PlanfehlerDetail(const std::string& datei, const Planfehler& f, bool englisch) {
  std::string d = "\n" + (datei.empty() ? std::string(englisch ? "plan" : "Plan") : datei);
  if (f.zeile > 0) d += (englisch ? ", line " : ", Zeile ") + std::to_string(f.zeile);
  if (f.spalte > 0) d += (englisch ? ", column " : ", Spalte ") + std::to_string(f.spalte);
  if (!f.text.empty()) d += ": " + f.text;
  return d;
}

double KleinsterAbstand(int baudrate) {
  if (baudrate <= 0) return 0;
  constexpr double kZeichenJeProbe = 3 * (6 + 12);
  return kZeichenJeProbe * 10.0 / baudrate;
}

ErrorCode PlanFuerLeitungPruefen(const Pruefplan& plan, int baudrate, Planfehler* fehler, bool englisch) {
  const double grenze = KleinsterAbstand(baudrate);
  for (const Schritt& s : plan.schritte) {
    if (s.art != Schrittart::Messen || s.intervall >= grenze) continue;
    char text[160];
    std::snprintf(text, sizeof text,
                  englisch ? "interval %s s: at %d baud the line carries a sample every %s s at the fastest"
                           : "interval %s s: bei %d Baud trägt die Leitung höchstens alle %s s eine Probe",
                  ZahlText(s.intervall).c_str(), baudrate, ZahlText(std::ceil(grenze * 1000) / 1000).c_str());
    *fehler = {PLAN_BEREICH, s.intervallZeile, s.intervallSpalte, text};
    return PLAN_BEREICH;
  }
  return 0;
}
