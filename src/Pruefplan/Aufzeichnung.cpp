#include "Pruefplan/Aufzeichnung.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <limits>
#include <system_error>

#include "Programmformate/Programmformate.h"
#include "Programmtransfer/Programmtransfer.h"
#include "common/Dateiersetzen.h"
#include "common/Dateiidentitaet.h"

using Json = nlohmann::ordered_json;

namespace {

const char* ArtName(Schrittart a) {
  switch (a) {
    case Schrittart::Schreiben: return "write";
    case Schrittart::Laden: return "load";
    case Schrittart::Start: return "start";
    case Schrittart::Stopp: return "stop";
    case Schrittart::FehlerLoeschen: return "clear";
    case Schrittart::Warten: return "wait";
    case Schrittart::Messen: return "measure";
  }
  return "";
}

const char* BewertungName(Bewertung b) {
  switch (b) {
    case Bewertung::Probe: return "sample";
    case Bewertung::Mittel: return "mean";
    case Bewertung::Minimum: return "min";
    case Bewertung::Maximum: return "max";
  }
  return "";
}

// A limit's open end is no number in JSON: null.
Json Zahl(double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); }

std::string Fest(double v, int stellen) { return FestText(v, stellen); }

std::string Xml(const std::string& s) {
  std::string aus;
  for (char c : s) {
    switch (c) {
      case '&': aus += "&amp;"; break;
      case '<': aus += "&lt;"; break;
      case '>': aus += "&gt;"; break;
      case '"': aus += "&quot;"; break;
      case '\'': aus += "&apos;"; break;
      default:
        // Control characters are not allowed in XML 1.0 at all.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') {
          aus += ' ';
        } else {
          aus += c;
        }
    }
  }
  return aus;
}

double Sekunden(std::int64_t vonMs, std::int64_t bisMs) { return static_cast<double>(bisMs - vonMs) / 1000.0; }

}  // namespace

std::string FestText(double v, int stellen) {
  if (!std::isfinite(v)) return ZahlText(v);
  char b[400];
  const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, stellen);
  return r.ec == std::errc() ? std::string(b, r.ptr) : ZahlText(v);
}

std::string UtcZeit(std::int64_t zeitMs) {
  const std::time_t s = static_cast<std::time_t>(zeitMs / 1000);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &s);
#else
  gmtime_r(&s, &tm);
#endif
  char b[96];
  std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                tm.tm_min, tm.tm_sec, static_cast<int>(zeitMs % 1000));
  return b;
}

Json ProtokollJson(const Protokoll& p) {
  Json j;
  j["format"] = "zpk3x-test-record";
  j["version"] = 1;
  j["plan"] = {{"name", p.plan.name}, {"file", p.plan.datei}, {"sha256", p.plan.sha256}};
  j["outcome"] = AusgangText(p.ausgang);
  j["reason"] = p.grund;
  j["device"] = {{"identity", p.kennung},
                 {"port", p.angaben.port},
                 {"baud_rate", p.angaben.baudrate},
                 {"address", std::string(1, p.angaben.adresse)}};
  j["serial"] = p.angaben.seriennummer;
  j["operator"] = p.angaben.bediener.empty() ? Json(nullptr) : Json(p.angaben.bediener);
  j["station"] = p.angaben.station.empty() ? Json(nullptr) : Json(p.angaben.station);
  j["program"] = p.angaben.programm;
  j["start"] = UtcZeit(p.startMs);
  j["end"] = UtcZeit(p.endeMs);
  j["stop_sent"] = p.stoppVersucht;
  // Codes positive, as every message, error object and MQTT payload gives them.
  if (p.stoppVersucht) j["stop_code"] = -p.stoppCode;
  Json schritte = Json::array();
  for (std::size_t i = 0; i < p.plan.schritte.size(); ++i) {
    const Schritt& s = p.plan.schritte[i];
    const Schrittergebnis& e = p.schritte[i];
    Json js;
    js["name"] = s.name;
    js["type"] = ArtName(s.art);
    js["outcome"] = AusgangText(e.ausgang);
    js["reason"] = e.grund;
    js["code"] = -e.code;
    js["start"] = e.ausgang == Ausgang::Skipped ? Json(nullptr) : Json(UtcZeit(e.startMs));
    js["seconds"] = e.ausgang == Ausgang::Skipped ? 0.0 : Sekunden(e.startMs, e.endeMs);
    if (s.art == Schrittart::Schreiben || s.art == Schrittart::Laden) js["program"] = s.programm;
    if (s.art == Schrittart::Schreiben) {
      Json werte;
      for (const Programmfeld& f : PROGRAMMFELDER)
        werte[f.name] = f.ganz != nullptr ? Json(s.satz.*f.ganz) : Json(s.satz.*f.reell);
      js["values"] = werte;
      js["source"] = s.quelle;
    }
    if (s.art == Schrittart::Warten) js["time_s"] = s.dauer;
    if (s.art == Schrittart::Messen) {
      js["interval_s"] = s.intervall;
      js["duration_s"] = s.dauer;
      js["settle_s"] = s.einschwingen;
      Json grenzen = Json::array();
      for (std::size_t k = 0; k < s.grenzen.size(); ++k) {
        const Grenze& g = s.grenzen[k];
        Json jg = {{"quantity", g.groesse == Groesse::Strom ? "current" : "voltage"},
                   {"on", BewertungName(g.auf)},
                   {"low", Zahl(g.unten)},
                   {"high", Zahl(g.oben)},
                   {"text", g.text}};
        if (k < e.grenzen.size() && e.grenzen[k].geprueft) {
          jg["passed"] = e.grenzen[k].bestanden;
          jg["value"] = e.grenzen[k].wert;
          if (g.auf == Bewertung::Probe) jg["outside"] = e.grenzen[k].ausserhalb;
        } else {
          jg["passed"] = nullptr;
        }
        grenzen.push_back(jg);
      }
      js["limits"] = grenzen;
      if (s.statusGesetzt != 0 || s.statusFrei != 0) {
        js["status"] = {{"set", s.statusGesetzt},
                        {"clear", s.statusFrei},
                        {"on", s.statusAmEnde ? "end" : "sample"},
                        {"passed", e.statusGeprueft ? Json(e.statusBestanden) : Json(nullptr)}};
      }
      if (!e.proben.empty()) {
        js["current"] = {{"min", e.strom.min}, {"mean", e.strom.mittel}, {"max", e.strom.max}};
        js["voltage"] = {{"min", e.spannung.min}, {"mean", e.spannung.mittel}, {"max", e.spannung.max}};
      }
      js["missed_ticks"] = e.ausgelassen;
      Json proben = Json::array();
      for (const Probe& pr : e.proben)
        proben.push_back({{"t", std::round(pr.t * 1000) / 1000}, {"current", pr.strom}, {"voltage", pr.spannung}, {"status", pr.status}});
      js["samples"] = proben;
    }
    schritte.push_back(js);
  }
  j["steps"] = schritte;
  return j;
}

Json ProtokollZusammenfassung(const Protokoll& p) {
  Json j = {{"outcome", AusgangText(p.ausgang)},
            {"serial", p.angaben.seriennummer},
            {"plan", p.plan.name},
            {"plan_sha256", p.plan.sha256},
            {"identity", p.kennung},
            {"start", UtcZeit(p.startMs)},
            {"end", UtcZeit(p.endeMs)},
            {"reason", p.grund}};
  Json schritte = Json::array();
  for (std::size_t i = 0; i < p.plan.schritte.size(); ++i)
    schritte.push_back({{"name", p.plan.schritte[i].name}, {"outcome", AusgangText(p.schritte[i].ausgang)}});
  j["steps"] = schritte;
  return j;
}

std::string ProtokollJunit(const Protokoll& p) {
  int fehler = 0, fehlerhaft = 0, ausgelassen = 0;
  for (const Schrittergebnis& e : p.schritte) {
    fehler += e.ausgang == Ausgang::Fail;
    fehlerhaft += e.ausgang == Ausgang::Error || e.ausgang == Ausgang::Aborted;
    ausgelassen += e.ausgang == Ausgang::Skipped;
  }
  const std::string klasse = Xml("zpk3x." + p.plan.name);
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  x += "<testsuites name=\"" + Xml(p.plan.name) + "\" tests=\"" + std::to_string(p.schritte.size()) + "\" failures=\"" +
       std::to_string(fehler) + "\" errors=\"" + std::to_string(fehlerhaft) + "\" time=\"" + Fest(Sekunden(p.startMs, p.endeMs), 3) +
       "\">\n";
  std::string zeit = UtcZeit(p.startMs);
  zeit = zeit.substr(0, 19);  // the schema's timestamp has no zone and no fraction
  x += "  <testsuite name=\"" + Xml(p.plan.name) + "\" id=\"0\" package=\"zpk3x\" hostname=\"" +
       Xml(p.angaben.station.empty() ? std::string("localhost") : p.angaben.station) + "\" timestamp=\"" + zeit + "\" tests=\"" +
       std::to_string(p.schritte.size()) + "\" failures=\"" + std::to_string(fehler) + "\" errors=\"" + std::to_string(fehlerhaft) +
       "\" skipped=\"" + std::to_string(ausgelassen) + "\" time=\"" + Fest(Sekunden(p.startMs, p.endeMs), 3) + "\">\n";
  x += "    <properties>\n";
  const std::pair<const char*, std::string> eigenschaften[] = {
      {"serial", p.angaben.seriennummer}, {"outcome", AusgangText(p.ausgang)}, {"plan_sha256", p.plan.sha256},
      {"identity", p.kennung},            {"port", p.angaben.port},           {"baud_rate", std::to_string(p.angaben.baudrate)},
      {"address", std::string(1, p.angaben.adresse)}, {"operator", p.angaben.bediener}, {"station", p.angaben.station}};
  for (const auto& [name, wert] : eigenschaften)
    x += "      <property name=\"" + std::string(name) + "\" value=\"" + Xml(wert) + "\"/>\n";
  x += "    </properties>\n";
  for (std::size_t i = 0; i < p.plan.schritte.size(); ++i) {
    const Schritt& s = p.plan.schritte[i];
    const Schrittergebnis& e = p.schritte[i];
    const double t = e.ausgang == Ausgang::Skipped ? 0.0 : Sekunden(e.startMs, e.endeMs);
    x += "    <testcase name=\"" + Xml(std::to_string(i + 1) + " " + s.name) + "\" classname=\"" + klasse + "\" time=\"" + Fest(t, 3) + "\"";
    if (e.ausgang == Ausgang::Pass) {
      x += "/>\n";
      continue;
    }
    x += ">\n";
    if (e.ausgang == Ausgang::Skipped) {
      x += "      <skipped/>\n";
    } else {
      const char* element = e.ausgang == Ausgang::Fail ? "failure" : "error";
      x += "      <" + std::string(element) + " message=\"" + Xml(e.grund) + "\" type=\"" + AusgangText(e.ausgang) + "\">" + Xml(e.grund) +
           "</" + element + ">\n";
    }
    x += "    </testcase>\n";
  }
  x += "    <system-out>" + Xml(std::string(AusgangText(p.ausgang)) + (p.grund.empty() ? "" : ": " + p.grund)) + "</system-out>\n";
  x += "    <system-err></system-err>\n";
  x += "  </testsuite>\n</testsuites>\n";
  return x;
}

std::string ProtokollCsv(const Protokoll& p) {
  std::string c = "step,name,t_s,time,current_A,voltage_V,status\r\n";
  for (std::size_t i = 0; i < p.schritte.size(); ++i) {
    for (const Probe& pr : p.schritte[i].proben) {
      char status[16];
      std::snprintf(status, sizeof status, "0x%04X", static_cast<unsigned>(pr.status));
      c += std::to_string(i + 1) + "," + CsvFeld(p.plan.schritte[i].name) + "," + Fest(pr.t, 3) + "," + UtcZeit(pr.zeitMs) + "," +
           ZahlText(pr.strom) + "," + ZahlText(pr.spannung) + "," + status + "\r\n";
    }
  }
  return c;
}

namespace {

// At most this many points per curve: a day's run stays a small page, and the
// extremes of each slice are kept so that no excursion vanishes.
constexpr std::size_t kPunkte = 1500;

// From the lowest to the highest of the values and limits, with a margin, so a
// deviation of a few percent shows.
struct Achse {
  double von = std::numeric_limits<double>::infinity(), bis = -std::numeric_limits<double>::infinity();
  void Nehmen(double v) {
    if (!std::isfinite(v)) return;
    von = std::min(von, v);
    bis = std::max(bis, v);
  }
  void Fertig() {
    if (!(von <= bis)) von = 0, bis = 1;
    const double rand = std::max((bis - von) * 0.1, std::max(std::fabs(bis), 1.0) * 0.02);
    von -= rand;
    bis += rand;
  }
  double Y(double v, double oben, double hoehe) const {
    const double r = (std::clamp(v, von, bis) - von) / (bis - von);
    return oben + hoehe * (1 - r);
  }
};

}  // namespace

std::string ProtokollHtml(const Protokoll& p) {
  const bool en = p.angaben.englisch;
  auto T = [en](const char* de, const char* e) { return std::string(en ? e : de); };
  std::vector<std::pair<double, const Probe*>> alle;
  double tEnde = 1;
  for (const Schrittergebnis& e : p.schritte)
    for (const Probe& pr : e.proben) alle.emplace_back(pr.t, &pr), tEnde = std::max(tEnde, pr.t);
  Achse strom, spannung;
  for (const auto& [t, pr] : alle) strom.Nehmen(pr->strom), spannung.Nehmen(pr->spannung);
  for (const Schritt& s : p.plan.schritte)
    for (const Grenze& g : s.grenzen) {
      Achse& a = g.groesse == Groesse::Strom ? strom : spannung;
      a.Nehmen(g.unten), a.Nehmen(g.oben);
    }
  strom.Fertig(), spannung.Fertig();
  constexpr double L = 60, O = 20, B = 680, H = 260;
  auto X = [&](double t) { return L + B * t / tEnde; };
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"plot\" viewBox=\"0 0 800 320\" width=\"100%\">\n";
  svg += "<rect x=\"" + Fest(L, 0) + "\" y=\"" + Fest(O, 0) + "\" width=\"" + Fest(B, 0) + "\" height=\"" + Fest(H, 0) +
         "\" fill=\"none\" stroke=\"#888\"/>\n";
  // Bands: each limit over the time its measurement ran.
  for (std::size_t i = 0; i < p.plan.schritte.size(); ++i) {
    const Schrittergebnis& e = p.schritte[i];
    if (e.proben.empty()) continue;
    for (const Grenze& g : p.plan.schritte[i].grenzen) {
      const bool istStrom = g.groesse == Groesse::Strom;
      const Achse& a = istStrom ? strom : spannung;
      const double y1 = a.Y(g.oben, O, H), y2 = a.Y(g.unten, O, H);
      const double x1 = X(e.proben.front().t), x2 = X(e.proben.back().t);
      svg += "<rect class=\"band " + std::string(istStrom ? "current" : "voltage") + "\" x=\"" + Fest(x1, 1) + "\" y=\"" + Fest(y1, 1) +
             "\" width=\"" + Fest(std::max(1.0, x2 - x1), 1) + "\" height=\"" + Fest(std::max(1.0, y2 - y1), 1) + "\" fill=\"" +
             (istStrom ? "#1f77b4" : "#d62728") + "\" fill-opacity=\"0.15\"><title>" + Xml(g.text) + "</title></rect>\n";
    }
  }
  for (int k = 0; k < 2; ++k) {
    const bool istStrom = k == 0;
    const Achse& a = istStrom ? strom : spannung;
    std::string punkte;
    const std::size_t schritt = std::max<std::size_t>(1, alle.size() / kPunkte);
    for (std::size_t i = 0; i < alle.size(); i += schritt) {
      // The lowest and highest of the slice, in time order.
      std::size_t lo = i, hi = i;
      for (std::size_t j = i; j < std::min(alle.size(), i + schritt); ++j) {
        const double v = istStrom ? alle[j].second->strom : alle[j].second->spannung;
        if (v < (istStrom ? alle[lo].second->strom : alle[lo].second->spannung)) lo = j;
        if (v > (istStrom ? alle[hi].second->strom : alle[hi].second->spannung)) hi = j;
      }
      for (std::size_t j : {std::min(lo, hi), std::max(lo, hi)}) {
        const double v = istStrom ? alle[j].second->strom : alle[j].second->spannung;
        punkte += Fest(X(alle[j].first), 1) + "," + Fest(a.Y(v, O, H), 1) + " ";
        if (lo == hi) break;
      }
    }
    svg += "<polyline id=\"" + std::string(istStrom ? "current" : "voltage") + "\" fill=\"none\" stroke=\"" +
           (istStrom ? "#1f77b4" : "#d62728") + "\" stroke-width=\"1.5\" points=\"" + punkte + "\"/>\n";
  }
  svg += "<text x=\"4\" y=\"14\" font-size=\"11\" fill=\"#1f77b4\">" + T("Strom [A]", "Current [A]") + " " + Fest(strom.von, 2) + ".." +
         Fest(strom.bis, 2) + "</text>\n";
  svg += "<text x=\"796\" y=\"14\" font-size=\"11\" text-anchor=\"end\" fill=\"#d62728\">" + T("Spannung [V]", "Voltage [V]") + " " +
         Fest(spannung.von, 1) + ".." + Fest(spannung.bis, 1) + "</text>\n";
  svg += "<text x=\"" + Fest(L + B, 0) + "\" y=\"300\" font-size=\"11\" text-anchor=\"end\">" + Fest(tEnde, 1) + " s</text>\n";
  svg += "<text x=\"" + Fest(L, 0) + "\" y=\"300\" font-size=\"11\">0 s</text>\n</svg>\n";

  const std::string ausgang = AusgangText(p.ausgang);
  std::string h = "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"" + T("de", "en") + "\">\n<head>\n<meta charset=\"utf-8\"/>\n";
  h += "<title>" + Xml(p.plan.name + " " + p.angaben.seriennummer + " " + ausgang) + "</title>\n";
  h += "<style>@page{size:A4;margin:12mm}body{font-family:sans-serif;font-size:10pt;margin:0}"
       "#verdict{font-size:28pt;font-weight:bold;padding:4pt 12pt;color:#fff;display:inline-block}"
       ".PASS{background:#2ca02c}.FAIL{background:#d62728}.ERROR{background:#ff7f0e}.ABORTED{background:#7f7f7f}"
       ".SKIPPED{color:#7f7f7f}table{border-collapse:collapse;width:100%}td,th{border:1px solid #ccc;padding:2pt 4pt;text-align:left}"
       "section{page-break-inside:avoid}</style>\n</head>\n<body>\n<section>\n";
  h += "<h1>" + Xml(p.plan.name) + "</h1>\n";
  h += "<div id=\"verdict\" class=\"" + ausgang + "\">" + ausgang + "</div>\n";
  if (!p.grund.empty()) h += "<p id=\"reason\">" + Xml(p.grund) + "</p>\n";
  h += "<table id=\"run\">\n";
  const std::pair<std::string, std::string> zeilen[] = {
      {T("Seriennummer", "Serial number"), p.angaben.seriennummer},
      {T("Gerät", "Device"), p.kennung},
      {T("Anschluss", "Connection"), p.angaben.port + ", " + std::to_string(p.angaben.baudrate) + " Baud, " + T("Adresse ", "address ") + p.angaben.adresse},
      {T("Bediener", "Operator"), p.angaben.bediener},
      {"Station", p.angaben.station},
      {T("Beginn", "Start"), UtcZeit(p.startMs)},
      {T("Ende", "End"), UtcZeit(p.endeMs)},
      {"Plan SHA-256", p.plan.sha256}};
  for (const auto& [k, v] : zeilen) h += "<tr><th>" + Xml(k) + "</th><td>" + Xml(v) + "</td></tr>\n";
  h += "</table>\n" + svg;
  h += "<table id=\"steps\">\n<tr><th>#</th><th>" + T("Schritt", "Step") + "</th><th>" + T("Ergebnis", "Outcome") + "</th><th>" +
       T("Grenzen", "Limits") + "</th><th>min / " + T("Mittel", "mean") + " / max</th><th>" + T("Grund", "Reason") + "</th></tr>\n";
  for (std::size_t i = 0; i < p.plan.schritte.size(); ++i) {
    const Schritt& s = p.plan.schritte[i];
    const Schrittergebnis& e = p.schritte[i];
    std::string grenzen, zahlen;
    for (const Grenze& g : s.grenzen)
      grenzen += (grenzen.empty() ? "" : "; ") + std::string(g.groesse == Groesse::Strom ? "I " : "U ") + BewertungName(g.auf) + " " + g.text;
    if (!e.proben.empty())
      zahlen = Fest(e.strom.min, 3) + " / " + Fest(e.strom.mittel, 3) + " / " + Fest(e.strom.max, 3) + " A; " + Fest(e.spannung.min, 2) + " / " +
               Fest(e.spannung.mittel, 2) + " / " + Fest(e.spannung.max, 2) + " V";
    h += "<tr class=\"step\"><td>" + std::to_string(i + 1) + "</td><td>" + Xml(s.name) + "</td><td class=\"" + AusgangText(e.ausgang) + "\">" +
         AusgangText(e.ausgang) + "</td><td>" + Xml(grenzen) + "</td><td>" + zahlen + "</td><td>" + Xml(e.grund) + "</td></tr>\n";
  }
  h += "</table>\n</section>\n</body>\n</html>\n";
  return h;
}

std::string SeriennummerImNamen(const std::string& seriennummer) {
  std::string n;
  for (char c : seriennummer) {
    const bool gut = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '.';
    n += gut ? c : '_';
    if (n.size() >= 64) break;
  }
  if (n.empty() || n[0] == '.') n.insert(0, "_");
  return n;
}

namespace {

// Names are UTF-8 on every system (as the rest of the program keeps them).
std::filesystem::path Pfad(const std::string& s) { return std::filesystem::path(std::u8string(s.begin(), s.end())); }
std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace

ErrorCode AufzeichnungsordnerAnlegen(const std::string& ordner, int* systemfehler) {
  namespace fs = std::filesystem;
  std::error_code ec;
  *systemfehler = 0;
  const fs::path basis = Pfad(ordner);
#ifndef _WIN32
  // A link along the way that another user planted in a sticky folder (/tmp)
  // would put the record where that user chose: refused as every write refuses it.
  if (!OrdnerLinksErlaubt(ordner + "/-")) {
    *systemfehler = EACCES;
    return AUFZEICHNUNG_ORDNER;
  }
#endif
  if (fs::is_directory(basis, ec)) return 0;
  if (fs::exists(basis, ec)) {
    *systemfehler = ENOTDIR;
    return AUFZEICHNUNG_ORDNER;
  }
  fs::create_directories(basis, ec);
  if (!ec) return 0;
  *systemfehler = ec.value();
  return AUFZEICHNUNG_ORDNER;
}

ErrorCode ProtokollAblegen(const Protokoll& p, const std::string& ordner, std::string* angelegt, int* systemfehler) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path basis = Pfad(ordner);
  if (ErrorCode err = AufzeichnungsordnerAnlegen(ordner, systemfehler); err != 0) {
    *angelegt = ordner;
    return err;
  }
  std::string zeit = UtcZeit(p.startMs);  // 2026-12-10T12:15:00.250Z -> 20261210T121500Z
  zeit = zeit.substr(0, 4) + zeit.substr(5, 2) + zeit.substr(8, 2) + "T" + zeit.substr(11, 2) + zeit.substr(14, 2) + zeit.substr(17, 2) + "Z";
  const std::string stamm = SeriennummerImNamen(p.angaben.seriennummer) + "_" + zeit;
  fs::path ziel;
  // create_directory makes the name new or reports that it exists: a folder, a
  // file or a link of that name already there is never used.
  for (int i = 1; i < 1000; ++i) {
    ziel = basis / Pfad(i == 1 ? stamm : stamm + "-" + std::to_string(i));
    ec.clear();
    if (fs::create_directory(ziel, ec) && !ec) break;
    if (ec && ec != std::errc::file_exists) {
      *systemfehler = ec.value();
      *angelegt = Utf8(ziel);
      return AUFZEICHNUNG_ORDNER;
    }
    ziel.clear();
  }
  if (ziel.empty()) {
    *systemfehler = EEXIST;
    *angelegt = Utf8(basis / Pfad(stamm));
    return AUFZEICHNUNG_ORDNER;
  }
  *angelegt = Utf8(ziel);
  const std::pair<const char*, std::string> dateien[] = {{"record.json", ProtokollJson(p).dump(1) + "\n"},
                                                         {"junit.xml", ProtokollJunit(p)},
                                                         {"samples.csv", ProtokollCsv(p)},
                                                         {"report.html", ProtokollHtml(p)}};
  for (const auto& [name, inhalt] : dateien) {
    const std::string pfad = Utf8(ziel / name);
    if (DateiErsetzen(pfad, inhalt.data(), inhalt.size(), Ersetzungsart::NurAtomar, systemfehler) != Ersetzt::Ja) {
      *angelegt = pfad;
      return AUFZEICHNUNG_SCHREIBEN;
    }
  }
  return 0;
}
