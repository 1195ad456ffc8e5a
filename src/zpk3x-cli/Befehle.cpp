// The commands of zpk3x-cli: connection, device commands, program transfer,
// program files and the monitor.
#include "zpk3x-cli/Befehle.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <vector>

#include "OLQ_errorV3/OLQ_errorV3.h"
#include "Programmtransfer/Programmtransfer.h"
#include "Verlauf/VerlaufDaten.h"
#include "common/Dateiersetzen.h"
#include "ini/ini.h"
#include "olqzpk3x/olqzpk3x.h"
#include "rs232/rs232.h"
#include "rs232/rs232_seam.h"
#include "zpk3x-cli/Plattform.h"
#include "zpk3x-cli/Programmformate.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr ErrorCode kWertAusserhalb = -500302;
constexpr ErrorCode kDateiNichtLesbar = -308305;
constexpr ErrorCode kDateiLesefehler = -304306;
constexpr ErrorCode kDateiNichtSchreibbar = -301307;
constexpr ErrorCode kNichtGefunden = -780308;

constexpr const char* kIniDatei = "zpk3xSteuerung.ini";
constexpr const char* kIniSektion = "ZPK3X";
// A device path is opened under this port number of the serial layer.
constexpr int kPfadPort = 1;

bool gEnglisch = false;

const char* T(const char* deutsch, const char* englisch) { return gEnglisch ? englisch : deutsch; }

void Ausgeben(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void JsonAusgeben(const Json& j) { Ausgeben(j.dump() + "\n"); }

std::string Meldung(ErrorCode code) { return OLQ_Fehlermeldung(code); }

// ---- connection ----

struct Verbindung {
  int port;          // 1..8, or kPfadPort for a device path
  std::string pfad;  // empty: port number with the serial layer's own mapping
  int baudrate;
  char adresse;
  double timeout;
  bool offen = false;

  Geraeteverbindung Geraet() const { return {port, adresse}; }
};

// The configuration file's values where present and valid; the window's file.
struct Konfiguration {
  int port = -1, lport = -1, baudrate = 0, adresse = 0;
};

Konfiguration KonfigurationLesen() {
  Konfiguration k;
  IniText ini = Ini_New(1);
  if (ini != nullptr && Ini_ReadFromFile(ini, kIniDatei) == 0) {
    Ini_GetInt(ini, kIniSektion, "port", &k.port);
    Ini_GetInt(ini, kIniSektion, "lport", &k.lport);
    Ini_GetInt(ini, kIniSektion, "baudrate", &k.baudrate);
    Ini_GetInt(ini, kIniSektion, "adresse", &k.adresse);
  }
  Ini_Dispose(ini);
  return k;
}

bool PortNummer(int n) { return n >= 1 && n <= 8; }
bool Baudrate(int b) {
  return std::find(std::begin(SUCHE_BAUDRATEN), std::end(SUCHE_BAUDRATEN), b) != std::end(SUCHE_BAUDRATEN);
}

// Each setting on its own: the option, else the configuration file, else the default.
int VerbindungBestimmen(const Optionen& o, Verbindung* v) {
  const Konfiguration k = KonfigurationLesen();
  v->port = PortNummer(k.port) ? k.port : (PortNummer(k.lport) ? k.lport : 1);
  if (!o.port.empty()) {
    if (ComPortKind(kPfadPort, o.port.c_str()) < 0) {
      return FehlerMelden(o, AUFRUF_FEHLER, "\n--port " + o.port + T(": tcp://HOST:PORT oder rfc2217://HOST:PORT",
                                                                       ": tcp://HOST:PORT or rfc2217://HOST:PORT"));
    }
    if (o.port.find_first_not_of("0123456789") != std::string::npos) {
      v->port = kPfadPort;
      v->pfad = o.port;
    } else if (o.port.size() == 1 && PortNummer(o.port[0] - '0')) {
      v->port = o.port[0] - '0';
    } else {
      return FehlerMelden(o, AUFRUF_FEHLER, "\n--port " + o.port + T(": 1 bis 8 oder ein Gerätepfad", ": 1 to 8 or a device path"));
    }
  }
  v->baudrate = o.baudrate != 0 ? o.baudrate : (Baudrate(k.baudrate) ? k.baudrate : 9600);
  v->adresse = !o.adresse.empty() ? o.adresse[0] : (k.adresse >= '1' && k.adresse <= '8' ? static_cast<char>(k.adresse) : '1');
  v->timeout = o.timeout;
  return EXIT_OK;
}

ErrorCode PortOeffnen(Verbindung* v, int baudrate) {
  if (v->offen) OLQZPK3X_Close(v->port);
  v->offen = false;
  ErrorCode err = 0;
  if (v->pfad.empty()) {
    err = OLQZPK3X_Open(v->port, baudrate);
  } else if (OpenComConfig(v->port, v->pfad.c_str(), baudrate, 1, 7, 1, 512, 512) != 0) {
    err = -100003;  // the driver's code for a port the system refuses
  }
  if (err != 0) return err;
  v->offen = true;
  return OLQZPK3X_Timeout(v->port, v->timeout);
}

// What the serial layer knows of a failure beyond its code, e.g. why a network
// port did not connect; appended to the message.
std::string PortGrund() {
  const std::string grund = ComLastError();
  return grund.empty() ? grund : "\n" + grund;
}

// ---- progress on a terminal ----

// One line, rewritten in place; blanks rather than terminal escapes clear what a
// longer line left, so any console shows it.
struct Fortschritt {
  bool an = IstTerminal(2);
  const char* was = "";
  mutable std::size_t breite = 0;

  void Zeigen(const std::string& text) const {
    if (!an) return;
    std::fprintf(stderr, "\r%s%*s", text.c_str(), static_cast<int>(breite > text.size() ? breite - text.size() : 0), "");
    std::fflush(stderr);
    breite = text.size();
  }
  void Ende() const {
    if (an && breite > 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(breite), "");
  }
};

void ProgrammeFortschritt(int fertig, int anzahl, void* kontext) {
  const Fortschritt* f = static_cast<const Fortschritt*>(kontext);
  f->Zeigen(std::string(f->was) + " " + std::to_string(fertig) + "/" + std::to_string(anzahl));
}

// ---- program tables ----

// "all" or a slot 0..16 into a range of slots; false for anything else.
bool BereichLesen(const std::string& text, int* von, int* bis) {
  if (text == "all") {
    *von = 1;
    *bis = 16;
    return true;
  }
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const int n = std::atoi(text.c_str());
  if (n < 0 || n >= PROGRAMM_SLOTS) return false;
  *von = *bis = n;
  return true;
}

std::string ProgrammName(int slot) {
  if (slot == 0) return T("Arbeitsparameter", "working parameters");
  return std::string(T("Programm ", "program ")) + std::to_string(slot);
}

// Allowed range of a field as the round limits the driver sends.
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

int DateiLesen(const Optionen& o, const std::string& pfad, Programmtabelle* t) {
  const Dateiformat format = FormatAusName(pfad);
  if (format == Dateiformat::Unbekannt)
    return FehlerMelden(o, AUFRUF_FEHLER, "\n" + pfad + T(": Endung .zpk, .csv oder .json", ": extension .zpk, .csv or .json"));
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

std::string TabelleAlsDatei(Dateiformat format, const Programmtabelle& t) {
  if (format == Dateiformat::Zpk) return TabelleAlsZpk(t);
  if (format == Dateiformat::Csv) return TabelleAlsCsv(t);
  return TabelleAlsJson(t);
}

int ZielformatPruefen(const Optionen& o, const std::string& pfad, Dateiformat* format) {
  *format = FormatAusName(pfad);
  if (*format != Dateiformat::Unbekannt) return EXIT_OK;
  return FehlerMelden(o, AUFRUF_FEHLER, "\n" + pfad + T(": Endung .zpk, .csv oder .json", ": extension .zpk, .csv or .json"));
}

// The folder must exist before the device is asked, so a typo costs no transfer.
int ZielordnerPruefen(const Optionen& o, const std::string& pfad) {
  std::error_code ec;
  const std::filesystem::path ordner = std::filesystem::path(pfad).parent_path();
  if (ordner.empty() || std::filesystem::is_directory(ordner, ec)) return EXIT_OK;
  return FehlerMelden(o, kDateiNichtSchreibbar, "\n" + pfad);
}

int DateiSchreiben(const Optionen& o, const std::string& pfad, Dateiformat format, const Programmtabelle& t) {
  // Replaced in one step, never half-written, keeping links, mode and owner as the window's save does.
  const std::string inhalt = TabelleAlsDatei(format, t);
  if (DateiErsetzen(pfad, inhalt.data(), inhalt.size(), Ersetzungsart::NurAtomar) != Ersetzt::Ja)
    return FehlerMelden(o, kDateiNichtSchreibbar, "\n" + pfad);
  return EXIT_OK;
}

void Erledigt(const Optionen& o, Json ergebnis, const std::string& text) {
  if (o.json) {
    JsonAusgeben(ergebnis);
  } else {
    Ausgeben(text.empty() || text.back() != '\n' ? text + "\n" : text);
  }
}

// ---- commands ----

struct Suche {
  Verbindung* v;
  Fortschritt f;
  Json antworten = Json::array();
  std::string tabelle;
};

ErrorCode SucheOeffnenBei(int baudrate, void* kontext) {
  Suche* s = static_cast<Suche*>(kontext);
  return PortOeffnen(s->v, baudrate);
}

void SucheMelden(Suchschritt schritt, int baudrate, char adresse, const char* kennung, bool zpk3x, void* kontext) {
  Suche* s = static_cast<Suche*>(kontext);
  if (schritt == Suchschritt::KeineAntwort) return;
  if (schritt == Suchschritt::Vorher) {
    char text[80];
    std::snprintf(text, sizeof text, T("Suche Gerät mit %d Baud ... Adresse %c", "Looking for device with %d Baud ... address %c"),
                  baudrate, adresse);
    s->f.Zeigen(text);
    return;
  }
  s->antworten.push_back({{"baudrate", baudrate}, {"adresse", std::string(1, adresse)}, {"kennung", kennung}, {"zpk3x", zpk3x}});
  char zeile[96];
  std::snprintf(zeile, sizeof zeile, "%-6d %-8c %s%s\n", baudrate, adresse, kennung, zpk3x ? "" : T("  (kein ZPK-3X)", "  (no ZPK-3X)"));
  s->tabelle += zeile;
}

int Scan(const Optionen& o, Verbindung& v) {
  Suche s{&v, {}, Json::array(), ""};
  Suchergebnis e{};
  if (ComPortKind(v.port, v.pfad.c_str()) == COM_KIND_TCP) {
    // Raw TCP: the device server keeps its own rate, so the search asks there only.
    if (ErrorCode err = PortOeffnen(&v, v.baudrate); err != 0) return FehlerMelden(o, err, PortGrund());
    std::fprintf(stderr, "%s", T("zpk3x-cli: Port über rohes TCP: die Suche fragt nur mit der Baudrate des Geräteservers.\n",
                                 "zpk3x-cli: port over raw TCP: the search asks only at the device server's baud rate.\n"));
  }
  const ErrorCode err = GeraetSuchen(v.port, SucheOeffnenBei, SucheMelden, &s, &e);
  s.f.Ende();
  if (err != 0) return FehlerMelden(o, err, PortGrund());
  if (!e.gefunden) {
    if (!o.json && !s.tabelle.empty()) Ausgeben(s.tabelle);
    return FehlerMelden(o, kNichtGefunden);
  }
  if (o.json) {
    JsonAusgeben({{"baudrate", e.baudrate}, {"adresse", std::string(1, e.adresse)}, {"kennung", e.kennung}, {"antworten", s.antworten}});
  } else {
    char text[96];
    std::snprintf(text, sizeof text, T("Gefunden: Adresse %c, %d Baud\n", "Found: address %c, %d baud\n"), e.adresse, e.baudrate);
    Ausgeben(std::string(T("Baud   Adresse  Kennung\n", "Baud   Address  Identity\n")) + s.tabelle + text);
  }
  return EXIT_OK;
}

Json StatusbitsJson(int status) {
  Json bits = Json::array();
  for (const VerlaufStatusName& b : VerlaufStatusbitNamen(gEnglisch)) {
    if ((status & b.bit) != 0) bits.push_back({{"bit", b.bit}, {"text", b.name}});
  }
  return bits;
}

std::string StatusText(int status) {
  char kopf[32];
  std::snprintf(kopf, sizeof kopf, "0x%04X", static_cast<unsigned>(status));
  std::string aus = std::string("Status: ") + kopf + "\n";
  for (const Json& b : StatusbitsJson(status)) {
    char bit[16];
    std::snprintf(bit, sizeof bit, "0x%04X", b["bit"].get<unsigned>());
    aus += std::string("  ") + bit + "  " + b["text"].get<std::string>() + "\n";
  }
  return aus;
}

int Status(const Optionen& o, const Verbindung& v) {
  int status = 0;
  if (ErrorCode err = StatuswortLesen(v.Geraet(), &status); err != 0) return FehlerMelden(o, err);
  Erledigt(o, {{"status", status}, {"bits", StatusbitsJson(status)}}, StatusText(status));
  return EXIT_OK;
}

int IstwerteBefehl(const Optionen& o, const Verbindung& v) {
  Istwerte w{};
  if (ErrorCode err = IstwerteLesen(v.Geraet(), &w); err != 0) return FehlerMelden(o, err);
  const std::string text = std::string(T("Iststrom [A]:    ", "Current [A]:  ")) + ZahlText(w.strom) + "\n" +
                           T("Istspannung [V]: ", "Voltage [V]:  ") + ZahlText(w.spannung) + "\n" + StatusText(w.status);
  Erledigt(o, {{"iststrom", w.strom}, {"istspannung", w.spannung}, {"status", w.status}, {"bits", StatusbitsJson(w.status)}},
           text);
  return EXIT_OK;
}

int Geraetefunktion(const Optionen& o, const Verbindung& v, const char* funktion) {
  if (ErrorCode err = OLQZPK3X_DeviceFunction(v.port, v.adresse, funktion); err != 0) return FehlerMelden(o, err);
  Erledigt(o, {{"befehl", o.befehl}, {"ok", true}}, o.befehl + T(": ausgeführt", ": done"));
  return EXIT_OK;
}

int ProgrammNummer(const Optionen& o, const Verbindung& v, const char* parameter) {
  if (ErrorCode err = OLQZPK3X_ParameterSchreiben(v.port, v.adresse, parameter, 0.0, o.programm, 0); err != 0)
    return FehlerMelden(o, err);
  Erledigt(o, {{"befehl", o.befehl}, {"programm", o.programm}, {"ok", true}},
           o.befehl + " " + std::to_string(o.programm) + T(": ausgeführt", ": done"));
  return EXIT_OK;
}

int Lesen(const Optionen& o, Verbindung& v, int von, int bis, Dateiformat format) {
  Programmtabelle t = StandardTabelle();
  t.auswahl = von == bis ? von : 0;
  Fortschritt f;
  f.was = T("Programme gelesen", "programs read");
  const ErrorCode err = ProgrammeLesen(v.Geraet(), von, bis, t.slots, von == bis ? nullptr : ProgrammeFortschritt, &f);
  f.Ende();
  // Nothing reaches the output file unless every program arrived.
  if (err != 0) return FehlerMelden(o, err);
  if (!o.datei.empty()) {
    if (int status = DateiSchreiben(o, o.datei, format, t); status != EXIT_OK) return status;
    Erledigt(o, {{"datei", o.datei}, {"von", von}, {"bis", bis}},
             std::string(T("gelesen: ", "read: ")) + (von == bis ? ProgrammName(von) : T("Programme 1 bis 16", "programs 1 to 16")) +
                 " -> " + o.datei);
  } else if (o.json) {
    Ausgeben(TabelleAlsJson(t));
  } else {
    Ausgeben(TabellenText(t, von, bis, false));
  }
  return EXIT_OK;
}

// The frames a write would send: the real sequence through the driver, on the
// serial layer's in-memory port that takes every frame and acknowledges it.
int Trockenlauf(const Optionen& o, const Verbindung& v, int von, int bis, Programmtabelle& t) {
  const std::string acks(static_cast<std::size_t>(bis - von + 1) * 11, '\x06');
  Rs232Seam_ScriptPort(v.port, acks.data(), static_cast<int>(acks.size()));
  ErrorCode err = OLQZPK3X_Open(v.port, v.baudrate);
  if (err == 0) err = ProgrammeSchreiben(v.Geraet(), von, bis, t.slots, nullptr, nullptr);
  std::vector<char> gesendet(8192);
  const int n = Rs232Seam_ScriptedSent(gesendet.data(), static_cast<int>(gesendet.size()));
  OLQZPK3X_Close(v.port);
  Rs232Seam_Reset();
  if (err != 0) return FehlerMelden(o, err);
  std::vector<std::string> rahmen;
  std::string r;
  for (int i = 0; i < std::min<int>(n, static_cast<int>(gesendet.size())); ++i) {
    if (gesendet[static_cast<std::size_t>(i)] == '\r') {
      rahmen.push_back(r);
      r.clear();
    } else {
      r += gesendet[static_cast<std::size_t>(i)];
    }
  }
  if (o.json) {
    JsonAusgeben({{"rahmen", rahmen}});
  } else {
    std::string aus;
    for (const std::string& s : rahmen) aus += s + "\n";
    Ausgeben(aus);
  }
  return EXIT_OK;
}

int Schreiben(const Optionen& o, Verbindung& v, int von, int bis) {
  Programmtabelle t{};
  if (int status = DateiLesen(o, o.datei, &t); status != EXIT_OK) return status;
  // Every value is checked before the first frame, so a bad file sends nothing.
  for (int slot = von; slot <= bis; ++slot) {
    for (const Programmfeld& feld : PROGRAMMFELDER) {
      if (FeldImBereich(t.slots[slot], feld)) continue;
      return FehlerMelden(o, kWertAusserhalb,
                          "\n" + o.datei + ": " + ProgrammName(slot) + ", " + feld.name + " = " +
                              FeldText(t.slots[slot], feld) + T("; erlaubt: ", "; allowed: ") + BereichText(feld));
    }
  }
  if (o.trockenlauf) return Trockenlauf(o, v, von, bis, t);
  if (ErrorCode err = PortOeffnen(&v, v.baudrate); err != 0) return FehlerMelden(o, err, PortGrund());
  Fortschritt f;
  f.was = T("Programme geschrieben", "programs written");
  const ErrorCode err = ProgrammeSchreiben(v.Geraet(), von, bis, t.slots, von == bis ? nullptr : ProgrammeFortschritt, &f);
  f.Ende();
  if (err != 0) return FehlerMelden(o, err);
  Erledigt(o, {{"datei", o.datei}, {"von", von}, {"bis", bis}},
           std::string(T("geschrieben: ", "written: ")) + (von == bis ? ProgrammName(von) : T("Programme 1 bis 16", "programs 1 to 16")) +
               " <- " + o.datei);
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
  Erledigt(o, {{"von", o.datei}, {"nach", o.ziel}}, o.datei + " -> " + o.ziel);
  return EXIT_OK;
}

// ---- monitor ----

struct Messzeile {
  std::string zeit;
  Istwerte w;
  ErrorCode fehler;
  std::string meldung;
};

constexpr const char* kMonitorSpalten = "%-29s  %12s  %15s  ";

std::string MonitorKopf() {
  char text[160];
  std::snprintf(text, sizeof text, kMonitorSpalten, T("Zeit", "Time"), T("Iststrom [A]", "Current [A]"),
                T("Istspannung [V]", "Voltage [V]"));
  return text + std::string(T("Status  Fehler\n", "Status  Error\n"));
}

std::string MesszeileText(const Messzeile& m) {
  char text[160];
  if (m.fehler != 0) {
    std::snprintf(text, sizeof text, kMonitorSpalten, m.zeit.c_str(), "", "");
    std::string meldung = m.meldung;
    std::replace(meldung.begin(), meldung.end(), '\n', ' ');
    return text + std::string(6, ' ') + "  " + std::to_string(m.fehler) + " " + meldung + "\n";
  }
  std::snprintf(text, sizeof text, kMonitorSpalten, m.zeit.c_str(), ZahlText(m.w.strom).c_str(),
                ZahlText(m.w.spannung).c_str());
  char status[16];
  std::snprintf(status, sizeof status, "0x%04X\n", static_cast<unsigned>(m.w.status));
  return text + std::string(status);
}

Json MesszeileJson(const Messzeile& m) {
  Json j = {{"zeit", m.zeit}};
  if (m.fehler != 0) {
    j["iststrom"] = nullptr;
    j["istspannung"] = nullptr;
    j["status"] = nullptr;
    j["fehler"] = {{"code", m.fehler}, {"message", m.meldung}};
  } else {
    j["iststrom"] = m.w.strom;
    j["istspannung"] = m.w.spannung;
    j["status"] = m.w.status;
    j["fehler"] = nullptr;
  }
  return j;
}

// The file is the trend window's recording, written by the same recorder: a test
// bench gets one format from both front ends.
int Monitor(const Optionen& o, const Verbindung& v) {
  using Uhr = std::chrono::steady_clock;
  const std::vector<VerlaufStatusName>& namen = VerlaufStatusbitNamen(gEnglisch);
  VerlaufAufzeichnung csv;
  if (!o.datei.empty()) {
    if (ErrorCode err = VerlaufAufzeichnungStarten(&csv, o.datei.c_str()); err != 0)
      return FehlerMelden(o, err, "\n" + o.datei);
  }
  if (!o.json) Ausgeben(MonitorKopf());
  AbbruchAbfangen();
  const auto anfang = Uhr::now();
  const auto intervall = std::chrono::duration_cast<Uhr::duration>(std::chrono::duration<double>(o.intervall));
  const auto dauer = std::chrono::duration_cast<Uhr::duration>(std::chrono::duration<double>(o.dauer));
  int status = EXIT_OK;
  ErrorCode letzterFehler = 0;
  auto naechste = anfang;
  while (!AbbruchVerlangt()) {
    if (o.dauer > 0 && Uhr::now() - anfang >= dauer) break;
    VerlaufProbe p;
    p.zeitMs = VerlaufJetztMs();
    Messzeile m{VerlaufZeitstempel(p.zeitMs), {}, 0, ""};
    m.fehler = p.fehler = IstwerteLesen(v.Geraet(), &m.w);
    if (m.fehler != 0) {
      m.meldung = Meldung(m.fehler);
    } else {
      p.strom = m.w.strom;
      p.spannung = m.w.spannung;
      p.status = m.w.status;
    }
    if (o.json) {
      JsonAusgeben(MesszeileJson(m));
    } else {
      Ausgeben(MesszeileText(m));
    }
    if (VerlaufAufzeichnungLaeuft(&csv)) {
      const ErrorCode err = VerlaufAufzeichnungZeile(&csv, p, namen.data(), static_cast<int>(namen.size()));
      if (err != 0) return FehlerMelden(o, err, "\n" + o.datei);
    }
    if (m.fehler != 0 && o.stoppBeiFehler) {
      letzterFehler = m.fehler;
      break;
    }
    // The next query on the grid of intervals from the start; a query that took
    // longer than an interval skips the ticks it missed instead of hurrying.
    do naechste += intervall;
    while (naechste <= Uhr::now());
    while (!AbbruchVerlangt() && Uhr::now() < naechste) {
      if (o.dauer > 0 && Uhr::now() - anfang >= dauer) break;
      std::this_thread::sleep_for(std::min<Uhr::duration>(naechste - Uhr::now(), std::chrono::milliseconds(20)));
    }
  }
  if (ErrorCode err = VerlaufAufzeichnungBeenden(&csv); err != 0) return FehlerMelden(o, err, "\n" + o.datei);
  if (letzterFehler != 0) status = FehlerMelden(o, letzterFehler);
  return status;
}

}  // namespace

bool EnglischAusUmgebung() {
  const char* lang = std::getenv("LANG");
  return !(lang != nullptr && std::strncmp(lang, "de", 2) == 0);
}

int ExitStatus(ErrorCode code) {
  if (code == 0) return EXIT_OK;
  const int klasse = -(code / 1000);
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
  const std::string meldung = Meldung(code) + detail;
  std::fprintf(stderr, "zpk3x-cli: %s #%d: %s\n", T("Fehler", "Error"), -code, meldung.c_str());
  if (o.json) JsonAusgeben({{"error", {{"code", code}, {"message", meldung}}}});
  return ExitStatus(code);
}

void SpracheSetzen(bool englisch) {
  gEnglisch = englisch;
  OLQ_Fehlersprache(englisch ? 2 : 1);
}

int BefehlAusfuehren(Optionen& o) {
  SpracheSetzen(o.englisch);

  // Commands on files alone.
  if (o.befehl == "show") return Zeigen(o);
  if (o.befehl == "convert") return Umwandeln(o);

  Verbindung v{};
  if (int status = VerbindungBestimmen(o, &v); status != EXIT_OK) return status;
  int von = 0, bis = 0;
  Dateiformat format = Dateiformat::Unbekannt;
  if (o.befehl == "read" || o.befehl == "write") {
    if (!BereichLesen(o.bereich, &von, &bis))
      return FehlerMelden(o, AUFRUF_FEHLER, "\n" + o.bereich + T(": 0 bis 16 oder all", ": 0 to 16 or all"));
    // The output's format is known before anything is read from the device.
    if (o.befehl == "read" && !o.datei.empty()) {
      if (int status = ZielformatPruefen(o, o.datei, &format); status != EXIT_OK) return status;
      if (int status = ZielordnerPruefen(o, o.datei); status != EXIT_OK) return status;
    }
    if (o.befehl == "write") return Schreiben(o, v, von, bis);
  }
  if (o.befehl == "scan") return Scan(o, v);

  if (ErrorCode err = PortOeffnen(&v, v.baudrate); err != 0) return FehlerMelden(o, err, PortGrund());
  if (o.befehl == "id") {
    char kennung[32] = {};
    if (ErrorCode err = OLQZPK3X_IDLesen(v.port, v.adresse, kennung); err != 0) return FehlerMelden(o, err);
    kennung[sizeof kennung - 1] = '\0';
    Erledigt(o, {{"kennung", kennung}}, kennung);
    return EXIT_OK;
  }
  if (o.befehl == "status") return Status(o, v);
  if (o.befehl == "get") return IstwerteBefehl(o, v);
  if (o.befehl == "start") return Geraetefunktion(o, v, "start");
  if (o.befehl == "stop") return Geraetefunktion(o, v, "stopp");
  if (o.befehl == "clear") return Geraetefunktion(o, v, "fehlerloeschen");
  if (o.befehl == "calibrate") return Geraetefunktion(o, v, "kalibrieren");
  if (o.befehl == "load") return ProgrammNummer(o, v, "programmladen");
  if (o.befehl == "store") return ProgrammNummer(o, v, "programmspeichern");
  if (o.befehl == "read") return Lesen(o, v, von, bis, format);
  if (o.befehl == "monitor") return Monitor(o, v);
  return FehlerMelden(o, AUFRUF_FEHLER, "\n" + o.befehl);
}
